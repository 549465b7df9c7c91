// libFuzzer target for the INI text functions: any bytes must decode, be
// searched and be edited without a crash, and an edit must read back.
#include "base/utf8.h"
#include "ini/ini_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const brevan::ini::IniText text = brevan::ini::DecodeIniBytes(bytes);
    if (!brevan::IsValidUtf8(text.text)) std::abort();

    (void)brevan::ini::FindValue(text.text, "Default", "myHTPCPath");

    // The first few bytes also serve as the value to store.
    const std::string_view value = std::string_view(text.text).substr(0, 16);
    if (const auto edited = brevan::ini::SetValue(text.text, "Default", "myHTPCPath", value)) {
        const auto back = brevan::ini::FindValue(*edited, "Default", "myHTPCPath");
        if (!back || *back != value) std::abort();
    }
    return 0;
}
