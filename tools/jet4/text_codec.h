// How Text and Memo values are stored: UTF-16LE, or Jet's "compressed
// unicode" (FF FE, then one byte per character with a 00 byte toggling to
// two-byte units) when that is shorter.
#pragma once

#include <optional>
#include <string>

#include "jet4/bytes.h"

namespace jet4::detail {

// The stored bytes of `text`, or nothing when it cannot be stored at all
// (it starts with U+FEFF, which plain storage would misread as the
// compression mark, and holds a unit that compression cannot encode).
// `allowCompression` false keeps plain storage except where it is required.
std::optional<Bytes> EncodeText(const std::u16string& text, bool allowCompression);

}  // namespace jet4::detail
