// One line of JSON Lines input: a flat JSON array of scalars.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mdbwrite {

struct JsonNull {};
// Strings keep their UTF-16 units as written, lone surrogates from \u escapes too.
using JsonScalar = std::variant<JsonNull, std::u16string, std::int64_t, double, bool>;

// Parses `[v1, v2, ...]`; throws std::runtime_error naming the offending
// character position (1-based) on anything else.
std::vector<JsonScalar> ParseJsonRow(std::string_view line);

}  // namespace mdbwrite
