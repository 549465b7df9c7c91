#pragma once
// Text as it may enter an XML 1.0 document.
#include <string>
#include <string_view>

namespace brevan::xml {

// Drops the characters XML 1.0 forbids from UTF-8 text: U+0000-U+0008,
// U+000B, U+000C, U+000E-U+001F, U+FFFE, U+FFFF, unpaired surrogates and
// bytes that are not UTF-8. Written in any form they make the file unreadable
// to every reader. Text holding none of them comes back unchanged.
std::string XmlSafeText(std::string_view text);

// The same without a copy for clean text: `text` itself when it holds no
// forbidden character, else the cleaned text, built in `scratch`.
std::string_view XmlSafeView(std::string_view text, std::string& scratch);

}  // namespace brevan::xml
