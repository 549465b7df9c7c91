#include "xml/xml_dom.h"

#include "base/error.h"
#include "base/utf8.h"
#include "os/replace_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <dirent.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <stdexcept>
#include <unistd.h>

namespace brevan::xml {
namespace {

constexpr unsigned kFormat = pugi::format_raw | pugi::format_no_empty_element_tags;

bool IsCont(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the allowed UTF-8 character at text[i], or 0 when the bytes there
// are forbidden by XML 1.0 or are not UTF-8 (then one byte is dropped).
std::size_t AllowedCharLength(std::string_view text, std::size_t i) {
    char32_t c;
    const std::size_t length = NextCodePoint(text, i, c);
    if (length == 0) return 0;
    if (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) return 0;
    if (c == 0xFFFE || c == 0xFFFF) return 0;
    return length;
}

class StringWriter : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
    std::string out;
};

std::string SaveError(const std::string& path, int error) {
    return "Cannot write the guide file " + path + ": " + std::strerror(error);
}

// The name mkstemp gives a temporary file of `name`: "." + name + "." and
// six letters or digits.
bool IsTemporaryName(std::string_view entry, std::string_view name) {
    const std::size_t prefix = name.size() + 2;
    if (entry.size() != prefix + 6 || entry[0] != '.' || entry.substr(1, name.size()) != name || entry[prefix - 1] != '.')
        return false;
    for (char c : entry.substr(prefix))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

// A save killed before its rename (kill -9, power cut) leaves its temporary
// file behind, and each such run would add one more. Only regular files of
// our own user named exactly so and untouched for a minute go: a save that is
// writing at the same moment keeps its file. Failures here change nothing.
void RemoveStaleTemporaries(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryName(entry->d_name, name)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || now - st.st_mtime < 60) continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace

namespace {

// The text itself when it holds no character XML forbids, else the text
// without them, built in `scratch`. Most text is ASCII with a few two-byte
// characters (umlauts): sixteen bytes at a time while all are printable
// ASCII, two-byte characters on the spot, the rest by AllowedCharLength.
std::string_view SafeView(std::string_view text, std::string& scratch) {
    const char* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
#ifdef __SSE2__
        const __m128i controls = _mm_set1_epi8(0x1F);
        while (i + 16 <= n) {
            // As signed bytes, control characters and bytes above 0x7F are
            // both at most 0x1F.
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const unsigned other = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(x, controls))) ^ 0xFFFFu;
            if (other != 0) {
                i += static_cast<std::size_t>(__builtin_ctz(other));
                break;
            }
            i += 16;
        }
        if (i >= n) break;
#endif
        const auto c = static_cast<unsigned char>(p[i]);
        if (c >= 0x20 && c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF && i + 1 < n && IsCont(static_cast<unsigned char>(p[i + 1]))) {
            i += 2;
            continue;
        }
        const std::size_t len = AllowedCharLength(text, i);
        if (len == 0) break;
        i += len;
    }
    if (i >= n) return text;
    scratch.assign(text.substr(0, i));
    while (i < n) {
        const std::size_t len = AllowedCharLength(text, i);
        if (len == 0) {
            ++i;
        } else {
            scratch.append(text.substr(i, len));
            i += len;
        }
    }
    return scratch;
}

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

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

// The serialized children of the root, in memory or in the temporary file
// that save renames.
struct DOMDocument::Body {
    static constexpr std::size_t kBuffer = 256 << 10;
    static constexpr std::uint64_t kWriteBehind = 8u << 20;

    bool started = false;  // a child has been serialized
    std::string memory;    // without a spool: the bytes

    int fd = -1;             // the spool file, open while spooling
    std::string target;      // where save puts it
    std::string temp;        // its temporary name
    std::string committed;   // after a spooled save: where the bytes now lie
    std::string prefix;      // what the file begins with
    int error = 0;           // the first write failure
    std::unique_ptr<char[]> buffer;
    std::size_t used = 0;
    std::uint64_t written = 0;  // bytes in the file
    std::uint64_t bodyEnd = 0;  // where the children end in it, once saved
    std::uint64_t synced = 0;   // bytes handed to write-back

    // Hands pugixml's output to the body.
    class Writer : public pugi::xml_writer {
    public:
        explicit Writer(Body& body) : body_(body) {}
        void write(const void* data, size_t size) override { body_.Append(static_cast<const char*>(data), size); }

    private:
        Body& body_;
    };

    ~Body() { Discard(); }

    bool Spooled() const { return fd >= 0; }

    void Append(const char* data, std::size_t size) {
        if (!Spooled()) {
            memory.append(data, size);
            return;
        }
        if (size >= kBuffer) {
            Flush();
            Write(data, size);
            return;
        }
        if (kBuffer - used < size) Flush();
        std::memcpy(buffer.get() + used, data, size);
        used += size;
    }

    void Flush() {
        Write(buffer.get(), used);
        used = 0;
    }

    void Write(const char* data, std::size_t size) {
        if (error != 0 || size == 0) return;
        error = WriteAll(fd, data, size);
        if (error != 0) return;
        written += size;
        // Start writing back to disk while the document is still being
        // built, so that the final fsync has little left to wait for.
        if (written - synced >= kWriteBehind) {
            ::sync_file_range(fd, static_cast<off_t>(synced), static_cast<off_t>(written - synced), SYNC_FILE_RANGE_WRITE);
            synced = written;
        }
    }

    // Makes the temporary file beside `path` and starts writing into it;
    // false (errno set) when it cannot be made.
    bool Open(const std::string& path) {
        const int made = CreateTemporaryBeside(path, temp);
        if (made < 0) return false;
        fd = made;
        target = path;
        buffer.reset(new char[kBuffer]);
        return true;
    }

    // Completes the temporary file and renames it over the target: flushed,
    // given the target's permissions, synced to disk. On any failure the
    // temporary file goes and brevan::Error says why; the target is untouched.
    void Commit() {
        Flush();
        int failure = error;
        if (failure == 0) {
            failure = CommitTemporary(fd, temp, target, ReplacementMode(target));
        } else {
            ::close(fd);
            ::unlink(temp.c_str());
        }
        fd = -1;
        if (failure != 0) throw Error(SaveError(target, failure));
        committed = target;
        RemoveStaleTemporaries(FolderOf(target), NameOf(target));
    }

    // Removes an unsaved spool file.
    void Discard() {
        if (fd < 0) return;
        ::close(fd);
        ::unlink(temp.c_str());
        fd = -1;
    }

    // Hands the serialized children to `writer`.
    void CopyTo(pugi::xml_writer& writer) {
        if (committed.empty() && !Spooled()) {
            writer.write(memory.data(), memory.size());
            return;
        }
        if (Spooled()) Flush();
        if (error != 0) throw Error(SaveError(target, error));
        const int in = Spooled() ? fd : ::open(committed.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) throw Error(SaveError(committed, errno));
        std::unique_ptr<char[]> chunk(new char[kBuffer]);
        std::uint64_t at = prefix.size();
        const std::uint64_t end = Spooled() ? written : bodyEnd;
        int failure = 0;
        while (at < end) {
            const ssize_t n = ::pread(in, chunk.get(), static_cast<std::size_t>(std::min<std::uint64_t>(kBuffer, end - at)),
                                      static_cast<off_t>(at));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failure = n < 0 ? errno : EIO;
                break;
            }
            writer.write(chunk.get(), static_cast<std::size_t>(n));
            at += static_cast<std::uint64_t>(n);
        }
        if (in != fd) ::close(in);
        if (failure != 0) throw Error(SaveError(Spooled() ? target : committed, failure));
    }
};

std::string XmlSafeText(std::string_view text) {
    std::string scratch;
    return std::string(SafeView(text, scratch));
}

void Node::appendChild(Node child) {
    if (document_ && document_->root_ && child.node_ == document_->root_) throw std::logic_error("the root element cannot move into another node");
    const bool toRoot = document_ && document_->root_ && node_ == document_->root_;
    if (child.node_.type() == pugi::node_element && std::strcmp(child.node_.name(), "#fragment") == 0) {
        while (pugi::xml_node moved = child.node_.first_child()) {
            node_.append_move(moved);
            if (toRoot) document_->seal(moved);
        }
        // The emptied fragment is of no further use; do not let them pile up.
        child.node_.parent().remove_child(child.node_);
        return;
    }
    node_.append_move(child.node_);
    if (toRoot) document_->seal(child.node_);
}

void Node::setAttributeNode(const Attribute& attribute) {
    if (document_ && document_->root_ && node_ == document_->root_ && document_->body_->started)
        throw std::logic_error("the root element's attributes are fixed once it has children");
    pugi::xml_attribute existing = node_.attribute(attribute.name.c_str());
    if (!existing) existing = node_.append_attribute(attribute.name.c_str());
    std::string scratch;
    const std::string_view value = SafeView(attribute.Value, scratch);
    existing.set_value(value.data(), value.size());
}

void Node::setText(std::string_view text) {
    const bool isRoot = document_ && document_->root_ && node_ == document_->root_;
    if (isRoot && document_->body_->started) throw std::logic_error("the root element's children are already written");
    node_.remove_children();
    if (text.empty()) return;
    std::string scratch;
    const std::string_view safe = SafeView(text, scratch);
    pugi::xml_node pcdata = node_.append_child(pugi::node_pcdata);
    pcdata.set_value(safe.data(), safe.size());
    if (isRoot) document_->seal(pcdata);
}

DOMDocument::DOMDocument() : body_(std::make_unique<Body>()) { limbo_ = doc_.append_child("#limbo"); }

DOMDocument::~DOMDocument() = default;

Node DOMDocument::createProcessingInstruction(std::string_view target, std::string_view data) {
    pugi::xml_node pi = limbo_.append_child(pugi::node_pi);
    pi.set_name(CName(target).c_str());
    std::string scratch;
    const std::string_view safe = SafeView(data, scratch);
    pi.set_value(safe.data(), safe.size());
    return Node(pi, this);
}

Node DOMDocument::createElement(std::string_view tagName) { return Node(limbo_.append_child(CName(tagName).c_str()), this); }

Attribute DOMDocument::createAttribute(std::string_view name) { return Attribute{std::string(name), {}}; }

Node DOMDocument::createTextNode(std::string_view data) {
    pugi::xml_node text = limbo_.append_child(pugi::node_pcdata);
    std::string scratch;
    const std::string_view safe = SafeView(data, scratch);
    text.set_value(safe.data(), safe.size());
    return Node(text, this);
}

Node DOMDocument::createDocumentFragment() { return Node(limbo_.append_child("#fragment"), this); }

void DOMDocument::appendChild(Node child) {
    // Top-level nodes go after everything else, the hidden element stays first.
    doc_.append_move(child.raw());
    if (!root_ && child.raw().type() == pugi::node_element) {
        root_ = child.raw();
        // Children it was given before it became the root, in their order.
        while (pugi::xml_node first = root_.first_child()) seal(first);
    }
}

void DOMDocument::seal(pugi::xml_node child) {
    if (!body_->started) {
        body_->started = true;
        if (body_->Spooled()) {
            body_->prefix = prefix();
            body_->Append(body_->prefix.data(), body_->prefix.size());
        }
    }
    Body::Writer writer(*body_);
    child.print(writer, "", kFormat, pugi::encoding_utf8);
    root_.remove_child(child);
}

std::string DOMDocument::prefix() const {
    StringWriter out;
    for (pugi::xml_node node = limbo_.next_sibling(); node != root_; node = node.next_sibling()) {
        node.print(out, "", kFormat, pugi::encoding_utf8);
        out.write("\r\n", 2);
    }
    // The start tag: the root printed without children ends in its end tag.
    pugi::xml_document shallow;
    pugi::xml_node copy = shallow.append_child(root_.name());
    for (pugi::xml_attribute a : root_.attributes()) copy.append_attribute(a.name()).set_value(a.value());
    StringWriter tag;
    copy.print(tag, "", kFormat, pugi::encoding_utf8);
    out.out.append(tag.out, 0, tag.out.size() - std::strlen(root_.name()) - 3);
    return std::move(out.out);
}

std::string DOMDocument::tail() const {
    StringWriter out;
    for (pugi::xml_node node = root_.first_child(); node; node = node.next_sibling())  // none unless seal failed
        node.print(out, "", kFormat, pugi::encoding_utf8);
    out.out += "</";
    out.out += root_.name();
    out.out += '>';
    for (pugi::xml_node node = root_.next_sibling(); node; node = node.next_sibling()) {
        out.write("\r\n", 2);
        node.print(out, "", kFormat, pugi::encoding_utf8);
    }
    return std::move(out.out);
}

void DOMDocument::write(pugi::xml_writer& writer) const {
    if (!root_) {
        bool first = true;
        for (pugi::xml_node node = limbo_.next_sibling(); node; node = node.next_sibling()) {
            if (!first) writer.write("\r\n", 2);
            node.print(writer, "", kFormat, pugi::encoding_utf8);
            first = false;
        }
        return;
    }
    const std::string head = prefix();
    writer.write(head.data(), head.size());
    body_->CopyTo(writer);
    const std::string end = tail();
    writer.write(end.data(), end.size());
}

std::string DOMDocument::xml() const {
    StringWriter writer;
    write(writer);
    return std::move(writer.out);
}

void DOMDocument::spoolTo(const std::string& path) {
    if (body_->Spooled() || !body_->committed.empty()) return;
    if (!body_->Open(path)) return;  // save will say why
    if (body_->started) {  // children written before: they go first
        body_->prefix = prefix();
        body_->Append(body_->prefix.data(), body_->prefix.size());
        std::string before = std::move(body_->memory);
        body_->Append(before.data(), before.size());
    }
}

void DOMDocument::save(const std::string& path) const {
    Body& body = *body_;
    if (body.Spooled() && path == body.target) {
        // Most of the file is written: add what follows the root's children
        // (or, for a document that never had any, the whole of it).
        if (body.error == 0 && root_) {
            if (!body.started) {
                body.started = true;
                body.prefix = prefix();
                body.Append(body.prefix.data(), body.prefix.size());
            } else if (prefix() != body.prefix) {
                body.Discard();
                throw std::logic_error("the start of the document changed after its content was written");
            }
            body.Flush();
            body.bodyEnd = body.written;
            const std::string end = tail();
            body.Append(end.data(), end.size());
        } else if (body.error == 0) {
            StringWriter all;
            write(all);
            body.Append(all.out.data(), all.out.size());
        }
        body.Commit();
        return;
    }

    // A document kept in memory goes out whole through a file of its own;
    // if writing it throws, that file's destructor removes it.
    Body out;
    if (!out.Open(path)) throw Error(SaveError(path, errno));
    Body::Writer writer(out);
    write(writer);
    out.Commit();
}

} // namespace brevan::xml
