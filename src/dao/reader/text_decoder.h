#pragma once
// Text as the file stores it, to UTF-8: Jet 4 files in UTF-16 (plain or
// compressed), Jet 3 files in their code page.
#include <iconv.h>
#include <cstddef>
#include <string>

namespace brevan::dao::reader {

class TextDecoder {
public:
    // Jet 4 text for `jet3` false; else text in Windows code page
    // `codePage` (0 and 1252 are Windows-1252, which is decoded without iconv).
    TextDecoder(bool jet3, unsigned codePage);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    // Appends the stored bytes of a Text or Memo value to `out`. A byte the
    // code page does not define becomes U+FFFD.
    void Append(const unsigned char* bytes, std::size_t size, std::string& out);

private:
    void AppendCodePage(const unsigned char* bytes, std::size_t size, std::string& out);

    bool jet3_;
    iconv_t codePage_ = reinterpret_cast<iconv_t>(-1);
};

}  // namespace brevan::dao::reader
