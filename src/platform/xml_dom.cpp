#include "platform/xml_dom.h"

#include "platform/error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brevan::xml {
namespace {

constexpr unsigned kFormat = pugi::format_raw | pugi::format_no_empty_element_tags;

bool IsCont(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the allowed UTF-8 character at text[i], or 0 when the bytes there
// are forbidden by XML 1.0 or are not UTF-8 (then one byte is dropped).
std::size_t AllowedCharLength(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t left = text.size() - i;
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    if (c < 0x80) return (c >= 0x20 || c == 0x09 || c == 0x0A || c == 0x0D) ? 1 : 0;
    if (c >= 0xC2 && c <= 0xDF) return (left >= 2 && IsCont(at(1))) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (left < 3 || !IsCont(at(1)) || !IsCont(at(2))) return 0;
        if (c == 0xE0 && at(1) < 0xA0) return 0;      // overlong
        if (c == 0xED && at(1) >= 0xA0) return 0;     // a surrogate on its own
        if (c == 0xEF && at(1) == 0xBF && (at(2) == 0xBE || at(2) == 0xBF)) return 0;  // U+FFFE, U+FFFF
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (left < 4 || !IsCont(at(1)) || !IsCont(at(2)) || !IsCont(at(3))) return 0;
        if (c == 0xF0 && at(1) < 0x90) return 0;      // overlong
        if (c == 0xF4 && at(1) >= 0x90) return 0;     // beyond U+10FFFF
        return 4;
    }
    return 0;
}

// Writes through stdio with a large buffer and remembers the first failure.
class FileWriter : public pugi::xml_writer {
public:
    explicit FileWriter(std::FILE* file) : file_(file) {}
    void write(const void* data, size_t size) override {
        if (failed_) return;
        if (std::fwrite(data, 1, size, file_) != size) {
            failed_ = true;
            error_ = errno;
        }
    }
    bool failed() const { return failed_; }
    int error() const { return error_; }

private:
    std::FILE* file_;
    bool failed_ = false;
    int error_ = 0;
};

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

mode_t NewFileMode(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

std::string XmlSafeText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t n = AllowedCharLength(text, i);
        if (n == 0) break;
        i += n;
    }
    if (i == text.size()) return std::string(text);
    std::string out(text.substr(0, i));
    while (i < text.size()) {
        const std::size_t n = AllowedCharLength(text, i);
        if (n == 0) {
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

void Node::appendChild(Node child) {
    if (child.node_.type() == pugi::node_element && std::strcmp(child.node_.name(), "#fragment") == 0) {
        while (pugi::xml_node moved = child.node_.first_child()) node_.append_move(moved);
        // The emptied fragment is of no further use; do not let them pile up.
        child.node_.parent().remove_child(child.node_);
        return;
    }
    node_.append_move(child.node_);
}

void Node::setAttributeNode(const Attribute& attribute) {
    pugi::xml_attribute existing = node_.attribute(attribute.name.c_str());
    if (!existing) existing = node_.append_attribute(attribute.name.c_str());
    existing.set_value(XmlSafeText(attribute.Value).c_str());
}

void Node::setText(std::string_view text) {
    node_.remove_children();
    if (!text.empty()) node_.append_child(pugi::node_pcdata).set_value(XmlSafeText(text).c_str());
}

DOMDocument::DOMDocument() { limbo_ = doc_.append_child("#limbo"); }

Node DOMDocument::adopt(pugi::xml_node node) { return Node(node); }

Node DOMDocument::createProcessingInstruction(std::string_view target, std::string_view data) {
    pugi::xml_node pi = limbo_.append_child(pugi::node_pi);
    pi.set_name(std::string(target).c_str());
    pi.set_value(XmlSafeText(data).c_str());
    return adopt(pi);
}

Node DOMDocument::createElement(std::string_view tagName) {
    return adopt(limbo_.append_child(std::string(tagName).c_str()));
}

Attribute DOMDocument::createAttribute(std::string_view name) { return Attribute{std::string(name), {}}; }

Node DOMDocument::createTextNode(std::string_view data) {
    pugi::xml_node text = limbo_.append_child(pugi::node_pcdata);
    text.set_value(XmlSafeText(data).c_str());
    return adopt(text);
}

Node DOMDocument::createDocumentFragment() { return adopt(limbo_.append_child("#fragment")); }

void DOMDocument::appendChild(Node child) {
    doc_.append_move(child.raw());
    // Top-level nodes go after everything else, the hidden element stays first.
}

void DOMDocument::write(pugi::xml_writer& writer) const {
    bool first = true;
    for (pugi::xml_node node = limbo_.next_sibling(); node; node = node.next_sibling()) {
        if (!first) writer.write("\r\n", 2);
        node.print(writer, "", kFormat, pugi::encoding_utf8);
        first = false;
    }
}

std::string DOMDocument::xml() const {
    StringWriter writer;
    write(writer);
    return std::move(writer.out);
}

void DOMDocument::save(const std::string& path) const {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (folder == "/" ? "" : folder) + "/." + name + ".XXXXXX";

    const int fd = ::mkstemp(temp.data());
    if (fd < 0) throw Error(SaveError(path, errno));
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int e = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        throw Error(SaveError(path, e));
    }
    static char buffer[1 << 20];
    std::setvbuf(file, buffer, _IOFBF, sizeof buffer);

    FileWriter writer(file);
    write(writer);
    int error = writer.failed() ? writer.error() : 0;
    if (error == 0 && std::fflush(file) != 0) error = errno;
    if (error == 0 && ::fchmod(fd, NewFileMode(path)) != 0) error = errno;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (std::fclose(file) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        throw Error(SaveError(path, error == 0 ? EIO : error));
    }
    // Make the rename itself durable; a failure here loses nothing.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    RemoveStaleTemporaries(folder, name);
}

} // namespace brevan::xml
