// Page 0: the database header.
#pragma once

#include <array>
#include <cstdint>

#include "jet4/bytes.h"

namespace jet4::detail {

// Every file gets the same creation date, so equal input gives equal bytes.
constexpr double kCreationDate = 36526.0;  // 2000-01-01

std::array<std::uint8_t, kPageSize> BuildHeaderPage();

}  // namespace jet4::detail
