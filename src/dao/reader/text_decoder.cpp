#include "dao/reader/text_decoder.h"

#include "base/cp1252.h"
#include "base/utf8.h"
#include "dao/reader/jet_text.h"

#include <cerrno>

namespace brevan::dao::reader {

TextDecoder::TextDecoder(bool jet3, unsigned codePage) : jet3_(jet3) {
    if (jet3 && codePage != 0 && codePage != 1252) {
        const std::string name = "CP" + std::to_string(codePage);
        codePage_ = iconv_open("UTF-8", name.c_str());
    }
}

TextDecoder::~TextDecoder() {
    if (codePage_ != reinterpret_cast<iconv_t>(-1)) iconv_close(codePage_);
}

void TextDecoder::Append(const unsigned char* bytes, std::size_t size, std::string& out) {
    if (!jet3_) {
        AppendJet4Text(bytes, size, out);
    } else if (codePage_ == reinterpret_cast<iconv_t>(-1)) {
        AppendCp1252(bytes, size, out);  // also a code page iconv does not know
    } else {
        AppendCodePage(bytes, size, out);
    }
}

void TextDecoder::AppendCodePage(const unsigned char* bytes, std::size_t size, std::string& out) {
    iconv(codePage_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    std::size_t inLeft = size;
    char chunk[1024];
    while (inLeft > 0) {
        char* o = chunk;
        std::size_t oLeft = sizeof chunk;
        const std::size_t r = iconv(codePage_, &in, &inLeft, &o, &oLeft);
        out.append(chunk, static_cast<std::size_t>(o - chunk));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            AppendCodePoint(0xFFFD, out);  // a byte the code page does not define
            ++in;
            --inLeft;
        }
    }
}

}  // namespace brevan::dao::reader
