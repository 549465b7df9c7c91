#include "base/case_fold.h"

#include <glib.h>

namespace brevan {
namespace {

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

void FoldCaseInto(std::string_view name, std::string& out) {
    out.clear();
    if (IsAscii(name) || !g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
        for (char c : name) out.push_back(AsciiLower(c));
        return;
    }
    gchar* folded = g_utf8_casefold(name.data(), static_cast<gssize>(name.size()));
    out.assign(folded);
    g_free(folded);
}

std::string FoldCase(std::string_view name) {
    std::string out;
    FoldCaseInto(name, out);
    return out;
}

bool SameNameFolded(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
        return true;
    }
    return FoldCase(a) == FoldCase(b);
}

}  // namespace brevan
