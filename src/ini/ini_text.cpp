#include "ini/ini_text.h"

#include "base/case_fold.h"
#include "base/cp1252.h"
#include "base/utf16.h"
#include "base/utf8.h"

#include <cstdint>
#include <vector>

namespace brevan::ini {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string DecodeCp1252(std::string_view bytes) {
    std::string out;
    AppendCp1252(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
    return out;
}

std::string DecodeUtf16(std::string_view bytes, ByteOrder order) {
    std::string out;
    AppendUtf16(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), order, LoneSurrogate::Replace, out);
    return out;  // an odd last byte is dropped
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
    std::size_t begin = 0;     // first byte of the line
    std::size_t end = 0;       // one past the last byte before the line break
    std::size_t breakEnd = 0;  // one past the line break (== end for none)
    LineKind kind = LineKind::Other;
    std::string_view name;       // section or key name, trimmed
    std::size_t valueBegin = 0;  // key lines: first byte of the value (blanks skipped)
};

Line ClassifyLine(std::string_view text, std::size_t begin, std::size_t end, std::size_t breakEnd) {
    Line line;
    line.begin = begin;
    line.end = end;
    line.breakEnd = breakEnd;
    const std::string_view content = text.substr(begin, end - begin);
    const std::string_view body = Trim(content);
    if (body.empty()) {
        line.kind = LineKind::Blank;
    } else if (body.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (body.front() == '[') {
        const std::size_t close = body.find(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = Trim(body.substr(1, close - 1));
        }
    } else if (const std::size_t eq = content.find('='); eq != std::string_view::npos) {
        line.kind = LineKind::Key;
        line.name = Trim(content.substr(0, eq));
        std::size_t v = eq + 1;
        while (v < content.size() && IsBlank(content[v])) ++v;
        line.valueBegin = begin + v;
    }
    return line;
}

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        std::size_t next;
        if (end == std::string_view::npos) {
            end = next = text.size();
        } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
        }
        lines.push_back(ClassifyLine(text, pos, end, next));
        pos = next;
    }
    return lines;
}

// The line break new lines get: the text's first one, LF when it has none.
std::string_view LineBreakOf(std::string_view text) {
    const std::size_t at = text.find_first_of("\r\n");
    if (at == std::string_view::npos) return "\n";
    if (text[at] == '\n') return "\n";
    return (at + 1 < text.size() && text[at + 1] == '\n') ? std::string_view("\r\n") : std::string_view("\r");
}

// Index range [first, last) of the lines of the first section named `section`
// (header excluded), or nothing.
struct SectionSpan {
    std::size_t header;
    std::size_t first;
    std::size_t last;
};

std::optional<SectionSpan> FindSection(const std::vector<Line>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != LineKind::Section || !SameNameFolded(lines[i].name, section)) continue;
        std::size_t j = i + 1;
        while (j < lines.size() && lines[j].kind != LineKind::Section) ++j;
        return SectionSpan{i, i + 1, j};
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<Line>& lines, const SectionSpan& span, std::string_view key) {
    for (std::size_t i = span.first; i < span.last; ++i)
        if (lines[i].kind == LineKind::Key && SameNameFolded(lines[i].name, key)) return i;
    return std::nullopt;
}

bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The value as it must stand in the file to read back unchanged.
std::string StoredForm(std::string_view value) {
    const bool blankAtEnds = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    const bool quoted = value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back();
    if (blankAtEnds || quoted) {
        // Built by appends: GCC 12 warns falsely about "literal" + string.
        std::string stored(1, '"');
        stored.append(value).push_back('"');
        return stored;
    }
    return std::string(value);
}

}  // namespace

IniText DecodeIniBytes(std::string_view bytes) {
    IniText result;
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        result.text = DecodeUtf16(bytes.substr(2), ByteOrder::LittleEndian);
        result.converted = true;
    } else if (bytes.substr(0, 2) == "\xFE\xFF") {
        result.text = DecodeUtf16(bytes.substr(2), ByteOrder::BigEndian);
        result.converted = true;
    } else {
        std::string_view body = bytes;
        if (body.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
            result.bom = true;
            body.remove_prefix(kUtf8Bom.size());
        }
        if (IsValidUtf8(body)) {
            result.text = std::string(body);
        } else {
            // Not UTF-8 after all: the rest is Windows-1252, and a write
            // stores it as UTF-8 without the mark.
            result.bom = false;
            result.text = DecodeCp1252(body);
            result.converted = true;
        }
    }
    return result;
}

std::string EncodeIniText(const IniText& text) {
    if (!text.bom) return text.text;
    return std::string(kUtf8Bom) + text.text;
}

std::optional<std::string> FindValue(std::string_view text, std::string_view section, std::string_view key) {
    const auto lines = SplitLines(text);
    const auto span = FindSection(lines, Trim(section));
    if (!span) return std::nullopt;
    const auto at = FindKey(lines, *span, Trim(key));
    if (!at) return std::nullopt;
    const Line& line = lines[*at];
    std::string_view value = text.substr(line.valueBegin, line.end - line.valueBegin);
    if (const std::size_t nul = value.find('\0'); nul != std::string_view::npos) value = value.substr(0, nul);
    value = Trim(value);
    if (value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::optional<std::string> SetValue(std::string_view text, std::string_view section, std::string_view key,
                                    std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty()) return std::nullopt;
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value)) return std::nullopt;
    if (section.find(']') != std::string_view::npos) return std::nullopt;
    if (key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';') return std::nullopt;
    if (!IsValidUtf8(section) || !IsValidUtf8(key) || !IsValidUtf8(value)) return std::nullopt;

    const auto lines = SplitLines(text);
    const std::string_view lineBreak = LineBreakOf(text);
    const std::string stored = StoredForm(value);
    std::string out;
    out.reserve(text.size() + key.size() + stored.size() + section.size() + 8);

    const auto span = FindSection(lines, section);
    if (!span) {
        out.append(text);
        if (!lines.empty()) {
            const Line& lastLine = lines.back();
            if (lastLine.breakEnd == lastLine.end) out.append(lineBreak);  // no break after the last line
            if (lastLine.kind != LineKind::Blank) out.append(lineBreak);   // one blank line before the new section
        }
        out.append("[").append(section).append("]").append(lineBreak);
        out.append(key).append("=").append(stored).append(lineBreak);
        return out;
    }

    if (const auto at = FindKey(lines, *span, key)) {
        const Line& line = lines[*at];
        out.append(text.substr(0, line.valueBegin));
        out.append(stored);
        out.append(text.substr(line.end));
        return out;
    }

    // After the section's last key, or right after its header when it has none.
    std::size_t after = span->header;
    for (std::size_t i = span->first; i < span->last; ++i)
        if (lines[i].kind == LineKind::Key) after = i;
    const Line& anchor = lines[after];
    out.append(text.substr(0, anchor.breakEnd));
    if (anchor.breakEnd == anchor.end) out.append(lineBreak);
    out.append(key).append("=").append(stored).append(lineBreak);
    out.append(text.substr(anchor.breakEnd));
    return out;
}

}  // namespace brevan::ini
