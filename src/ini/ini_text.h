#pragma once
// The INI (profile) format as pure text functions: bytes in, text or value
// out, no files touched. ini_profile.h puts them over real files; keeping
// them pure lets a fuzzer drive them directly.
//
// The format, as the Windows profile functions read it:
//   - lines end in CR LF, LF or a lone CR;
//   - "[name]" starts a section (blanks before "[" and around the name are
//     ignored, text after the first "]" too); a "[" line without "]" is ignored;
//   - "key = value" belongs to the section above it; blanks around key and
//     value are ignored; a value is everything after the first "=", so a ";"
//     inside a value is part of it;
//   - a line whose first non-blank character is ";" is a comment;
//   - section and key names are matched without regard to case;
//   - with duplicate sections only the first one counts, and within it the
//     first of duplicate keys;
//   - one pair of matching quotes (" or ') around a value is dropped on read;
//   - a NUL character ends a value.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace brevan::ini {

// An INI file's bytes turned into UTF-8 text.
struct IniText {
    std::string text;        // UTF-8, without a byte-order mark
    bool bom = false;        // the file started with a UTF-8 byte-order mark
    bool converted = false;  // the file was Windows-1252 or UTF-16, not UTF-8
};

// Valid UTF-8 is taken as it is (a leading UTF-8 BOM is noted and removed);
// a UTF-16 file with its BOM is decoded; anything else is Windows-1252, the
// code page INI files from a Western European Windows machine are written in.
// Never fails: every byte sequence decodes to something.
IniText DecodeIniBytes(std::string_view bytes);

// The bytes to store for `text`: UTF-8, with the BOM when the file had one.
std::string EncodeIniText(const IniText& text);

// The value of `key` in `section` of the decoded text, or nothing when the
// section or key is missing. Blanks around the requested names are ignored.
std::optional<std::string> FindValue(std::string_view text, std::string_view section, std::string_view key);

// `text` with `key` in `section` set to `value`: an existing key's value is
// replaced in its line and every other line stays byte for byte; a missing
// key is added after the section's last key; a missing section is added at
// the end. New lines use the line ending the text already uses (LF when it
// has none). A value that would not read back as it is (blanks at its ends,
// or quotes around it) is written in double quotes.
// Nothing comes back when the names or the value cannot be stored: an empty
// key or section, a line break or NUL anywhere, a key with "=" or starting
// with "[" or ";", a section with "]", or a value that is not UTF-8.
std::optional<std::string> SetValue(std::string_view text, std::string_view section, std::string_view key,
                                    std::string_view value);

}  // namespace brevan::ini
