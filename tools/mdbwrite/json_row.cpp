#include "mdbwrite/json_row.h"

#include <charconv>
#include <stdexcept>

#include "jet4/jet4_writer.h"

namespace mdbwrite {
namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    std::vector<JsonScalar> Row() {
        Skip();
        Expect('[');
        std::vector<JsonScalar> values;
        Skip();
        if (Peek() == ']') {
            ++pos_;
        } else {
            for (;;) {
                values.push_back(Scalar());
                Skip();
                if (Peek() == ',') {
                    ++pos_;
                    continue;
                }
                Expect(']');
                break;
            }
        }
        Skip();
        if (pos_ != s_.size()) Fail("unexpected text after the array");
        return values;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("JSON error at character " + std::to_string(pos_ + 1) + ": " + what);
    }

    char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }

    void Expect(char c) {
        if (Peek() != c) Fail(std::string("expected '") + c + "'");
        ++pos_;
    }

    void Skip() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n'))
            ++pos_;
    }

    bool Word(std::string_view w) {
        if (s_.substr(pos_, w.size()) != w) return false;
        pos_ += w.size();
        return true;
    }

    JsonScalar Scalar() {
        Skip();
        const char c = Peek();
        if (c == '"') return String();
        if (c == '-' || (c >= '0' && c <= '9')) return Number();
        if (Word("null")) return JsonNull{};
        if (Word("true")) return true;
        if (Word("false")) return false;
        if (c == '[' || c == '{') Fail("nested arrays and objects are not row values");
        Fail("expected a value");
    }

    unsigned Hex4() {
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = Peek();
            unsigned d;
            if (h >= '0' && h <= '9')
                d = static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f')
                d = static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                d = static_cast<unsigned>(h - 'A' + 10);
            else
                Fail("bad \\u escape");
            v = v << 4 | d;
            ++pos_;
        }
        return v;
    }

    std::u16string String() {
        Expect('"');
        std::u16string out;
        for (;;) {
            if (pos_ >= s_.size()) Fail("unterminated string");
            const char c = s_[pos_];
            if (c == '"') {
                ++pos_;
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) Fail("control character in a string");
            if (c == '\\') {
                ++pos_;
                const char e = Peek();
                ++pos_;
                switch (e) {
                case '"': out.push_back(u'"'); break;
                case '\\': out.push_back(u'\\'); break;
                case '/': out.push_back(u'/'); break;
                case 'b': out.push_back(u'\b'); break;
                case 'f': out.push_back(u'\f'); break;
                case 'n': out.push_back(u'\n'); break;
                case 'r': out.push_back(u'\r'); break;
                case 't': out.push_back(u'\t'); break;
                case 'u': out.push_back(static_cast<char16_t>(Hex4())); break;
                default: --pos_; Fail("bad escape");
                }
                continue;
            }
            // A run of raw UTF-8 up to the next quote, backslash or control character.
            std::size_t end = pos_;
            while (end < s_.size() && s_[end] != '"' && s_[end] != '\\' && static_cast<unsigned char>(s_[end]) >= 0x20)
                ++end;
            try {
                out += jet4::Utf16(s_.substr(pos_, end - pos_));
            } catch (const jet4::WriteError& e) {
                Fail(e.what());
            }
            pos_ = end;
        }
    }

    JsonScalar Number() {
        const std::size_t start = pos_;
        bool integral = true;
        if (Peek() == '-') ++pos_;
        if (Peek() == '0') {
            ++pos_;
        } else if (Peek() >= '1' && Peek() <= '9') {
            while (Peek() >= '0' && Peek() <= '9') ++pos_;
        } else {
            Fail("bad number");
        }
        if (Peek() == '.') {
            integral = false;
            ++pos_;
            if (!(Peek() >= '0' && Peek() <= '9')) Fail("bad number");
            while (Peek() >= '0' && Peek() <= '9') ++pos_;
        }
        if (Peek() == 'e' || Peek() == 'E') {
            integral = false;
            ++pos_;
            if (Peek() == '+' || Peek() == '-') ++pos_;
            if (!(Peek() >= '0' && Peek() <= '9')) Fail("bad number");
            while (Peek() >= '0' && Peek() <= '9') ++pos_;
        }
        const char* first = s_.data() + start;
        const char* last = s_.data() + pos_;
        if (integral) {
            std::int64_t v = 0;
            const auto r = std::from_chars(first, last, v);
            if (r.ec == std::errc() && r.ptr == last) return v;
        }
        double d = 0;
        const auto r = std::from_chars(first, last, d);
        if (r.ec != std::errc() || r.ptr != last) Fail("number out of range");
        return d;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

}  // namespace

std::vector<JsonScalar> ParseJsonRow(std::string_view line) { return Parser(line).Row(); }

}  // namespace mdbwrite
