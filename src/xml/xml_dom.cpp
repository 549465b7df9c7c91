#include "xml/xml_dom.h"

#include "base/error.h"
#include "xml/spool.h"
#include "xml/xml_text.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace brevan::xml {
namespace {

constexpr unsigned kFormat = pugi::format_raw | pugi::format_no_empty_element_tags;

class StringWriter : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
    std::string out;
};

// Hands pugixml's output to a spool.
class SpoolWriter : public pugi::xml_writer {
public:
    explicit SpoolWriter(Spool& spool) : spool_(spool) {}
    void write(const void* data, size_t size) override { spool_.Append({static_cast<const char*>(data), size}); }

private:
    Spool& spool_;
};

// A name as pugixml takes it, terminated, without a heap copy for short ones.
class CName {
public:
    explicit CName(std::string_view name) {
        if (name.size() < sizeof small_) {
            std::memcpy(small_, name.data(), name.size());
            small_[name.size()] = '\0';
            text_ = small_;
        } else {
            large_.assign(name);
            text_ = large_.c_str();
        }
    }
    const char* c_str() const { return text_; }

private:
    char small_[64];
    std::string large_;
    const char* text_;
};

}  // namespace

// The library's node behind a Node handle: a pugi::xml_node is one pointer
// to its node structure, which is what a handle holds.
struct Node::Handle {
    static pugi::xml_node Of(const Node& node) {
        return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(node.node_));
    }
    static Handle* From(pugi::xml_node node) { return reinterpret_cast<Handle*>(node.internal_object()); }
};

struct DOMDocument::Impl {
    pugi::xml_document doc;
    // Nodes not yet appended anywhere live under this hidden element, which
    // serialization skips; appendChild moves them out.
    pugi::xml_node limbo;
    pugi::xml_node root;
    Spool spool;
    bool started = false;       // a child of the root has been serialized
    std::string prefix;         // what a spooled file begins with
    std::uint64_t bodyEnd = 0;  // where the children end in it, once saved

    Impl() { limbo = doc.append_child("#limbo"); }

    Node Wrap(pugi::xml_node node, DOMDocument* document) const { return Node(Node::Handle::From(node), document); }

    // The root's first child is coming: what precedes it is fixed now.
    void Start() {
        if (started) return;
        started = true;
        if (spool.Spooled()) {
            prefix = Prefix();
            spool.Append(prefix);
        }
    }

    // Serializes a child just appended to the root and lets it go.
    void Seal(pugi::xml_node child) {
        Start();
        SpoolWriter writer(spool);
        child.print(writer, "", kFormat, pugi::encoding_utf8);
        root.remove_child(child);
    }

    // The top-level nodes before the root and the root's start tag.
    std::string Prefix() const {
        StringWriter out;
        for (pugi::xml_node node = limbo.next_sibling(); node != root; node = node.next_sibling()) {
            node.print(out, "", kFormat, pugi::encoding_utf8);
            out.write("\r\n", 2);
        }
        // The start tag: the root printed without children ends in its end tag.
        pugi::xml_document shallow;
        pugi::xml_node copy = shallow.append_child(root.name());
        for (pugi::xml_attribute a : root.attributes()) copy.append_attribute(a.name()).set_value(a.value());
        StringWriter tag;
        copy.print(tag, "", kFormat, pugi::encoding_utf8);
        out.out.append(tag.out, 0, tag.out.size() - std::strlen(root.name()) - 3);
        return std::move(out.out);
    }

    // What follows the root's children.
    std::string Tail() const {
        StringWriter out;
        for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling())  // none unless a seal failed
            node.print(out, "", kFormat, pugi::encoding_utf8);
        out.out += "</";
        out.out += root.name();
        out.out += '>';
        for (pugi::xml_node node = root.next_sibling(); node; node = node.next_sibling()) {
            out.write("\r\n", 2);
            node.print(out, "", kFormat, pugi::encoding_utf8);
        }
        return std::move(out.out);
    }

    // The whole document as save writes it.
    void Write(pugi::xml_writer& writer) {
        if (!root) {
            bool first = true;
            for (pugi::xml_node node = limbo.next_sibling(); node; node = node.next_sibling()) {
                if (!first) writer.write("\r\n", 2);
                node.print(writer, "", kFormat, pugi::encoding_utf8);
                first = false;
            }
            return;
        }
        const std::string head = Prefix();
        writer.write(head.data(), head.size());
        auto copy = [&writer](const char* data, std::size_t size) { writer.write(data, size); };
        if (!spool.Spooled() && bodyEnd == 0) {
            spool.CopyTo(0, spool.Memory().size(), copy);
        } else {
            spool.CopyTo(prefix.size(), spool.Spooled() ? (spool.Flush(), spool.Written()) : bodyEnd, copy);
        }
        const std::string end = Tail();
        writer.write(end.data(), end.size());
    }
};

void Node::appendChild(Node child) {
    DOMDocument::Impl* doc = document_ ? document_->impl_.get() : nullptr;
    pugi::xml_node self = Handle::Of(*this);
    const pugi::xml_node other = Handle::Of(child);
    if (doc && doc->root && other == doc->root)
        throw std::logic_error("the root element cannot move into another node");
    const bool toRoot = doc && doc->root && self == doc->root;
    if (other.type() == pugi::node_element && std::strcmp(other.name(), "#fragment") == 0) {
        while (pugi::xml_node moved = other.first_child()) {
            self.append_move(moved);
            if (toRoot) doc->Seal(moved);
        }
        // The emptied fragment is of no further use; do not let them pile up.
        other.parent().remove_child(other);
        return;
    }
    self.append_move(other);
    if (toRoot) doc->Seal(other);
}

void Node::setAttributeNode(const Attribute& attribute) {
    DOMDocument::Impl* doc = document_ ? document_->impl_.get() : nullptr;
    pugi::xml_node self = Handle::Of(*this);
    if (doc && doc->root && self == doc->root && doc->started)
        throw std::logic_error("the root element's attributes are fixed once it has children");
    pugi::xml_attribute existing = self.attribute(attribute.name.c_str());
    if (!existing) existing = self.append_attribute(attribute.name.c_str());
    std::string scratch;
    const std::string_view value = XmlSafeView(attribute.Value, scratch);
    existing.set_value(value.data(), value.size());
}

void Node::setText(std::string_view text) {
    DOMDocument::Impl* doc = document_ ? document_->impl_.get() : nullptr;
    pugi::xml_node self = Handle::Of(*this);
    const bool isRoot = doc && doc->root && self == doc->root;
    if (isRoot && doc->started) throw std::logic_error("the root element's children are already written");
    self.remove_children();
    if (text.empty()) return;
    std::string scratch;
    const std::string_view safe = XmlSafeView(text, scratch);
    pugi::xml_node pcdata = self.append_child(pugi::node_pcdata);
    pcdata.set_value(safe.data(), safe.size());
    if (isRoot) doc->Seal(pcdata);
}

DOMDocument::DOMDocument() : impl_(std::make_unique<Impl>()) {}

DOMDocument::~DOMDocument() = default;

Node DOMDocument::createProcessingInstruction(std::string_view target, std::string_view data) {
    pugi::xml_node pi = impl_->limbo.append_child(pugi::node_pi);
    pi.set_name(CName(target).c_str());
    std::string scratch;
    const std::string_view safe = XmlSafeView(data, scratch);
    pi.set_value(safe.data(), safe.size());
    return impl_->Wrap(pi, this);
}

Node DOMDocument::createElement(std::string_view tagName) {
    return impl_->Wrap(impl_->limbo.append_child(CName(tagName).c_str()), this);
}

Attribute DOMDocument::createAttribute(std::string_view name) { return Attribute{std::string(name), {}}; }

Node DOMDocument::createTextNode(std::string_view data) {
    pugi::xml_node text = impl_->limbo.append_child(pugi::node_pcdata);
    std::string scratch;
    const std::string_view safe = XmlSafeView(data, scratch);
    text.set_value(safe.data(), safe.size());
    return impl_->Wrap(text, this);
}

Node DOMDocument::createDocumentFragment() { return impl_->Wrap(impl_->limbo.append_child("#fragment"), this); }

void DOMDocument::appendChild(Node child) {
    // Top-level nodes go after everything else, the hidden element stays first.
    const pugi::xml_node node = Node::Handle::Of(child);
    impl_->doc.append_move(node);
    if (!impl_->root && node.type() == pugi::node_element) {
        impl_->root = node;
        // Children it was given before it became the root, in their order.
        while (pugi::xml_node first = impl_->root.first_child()) impl_->Seal(first);
    }
}

void DOMDocument::appendToRoot(const Markup& nodes) {
    if (!impl_->root) throw std::logic_error("the document has no root element to append to");
    impl_->Start();
    impl_->spool.Append(nodes.bytes());
}

std::string DOMDocument::xml() const {
    StringWriter writer;
    impl_->Write(writer);
    return std::move(writer.out);
}

void DOMDocument::spoolTo(const std::string& path, const std::string& label) {
    Impl& d = *impl_;
    if (d.spool.Spooled() || d.bodyEnd != 0) return;
    std::string before = std::move(d.spool.Memory());
    d.spool.Memory().clear();
    const std::string named = label.empty() ? "the file " + path : label;
    if (!d.spool.Open(path, named)) {
        const int error = errno;
        d.spool.Memory() = std::move(before);
        throw Error(SaveError(named, error));
    }
    if (d.started) {  // children written before: they go first
        d.prefix = d.Prefix();
        d.spool.Append(d.prefix);
        d.spool.Append(before);
    }
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> DOMDocument::spooledOver() const {
    return impl_->spool.TargetFile();
}

void DOMDocument::save(const std::string& path) {
    Impl& d = *impl_;
    if (d.spool.Spooled() && path == d.spool.Target()) {
        // Most of the file is written: add what follows the root's children
        // (or, for a document that never had any, the whole of it).
        if (!d.spool.Failed() && d.root) {
            if (!d.started) {
                d.started = true;
                d.prefix = d.Prefix();
                d.spool.Append(d.prefix);
            } else if (d.Prefix() != d.prefix) {
                d.spool.Discard();
                throw std::logic_error("the start of the document changed after its content was written");
            }
            d.spool.Flush();
            d.bodyEnd = d.spool.Written();
            d.spool.Append(d.Tail());
        } else if (!d.spool.Failed()) {
            StringWriter all;
            d.Write(all);
            d.spool.Append(all.out);
        }
        d.spool.Commit();
        return;
    }

    // A document kept in memory goes out whole through a file of its own;
    // if writing it throws, that spool's destructor removes its file.
    Spool out;
    const std::string named = "the file " + path;
    if (!out.Open(path, named)) throw Error(SaveError(named, errno));
    SpoolWriter writer(out);
    d.Write(writer);
    out.Commit();
}

}  // namespace brevan::xml
