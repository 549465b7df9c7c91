// Turns command-line column lists and JSON row values into writer input.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jet4/jet4_writer.h"
#include "mdbwrite/json_row.h"

namespace mdbwrite {

// "Name:Text(50),Notes:Memo,When:DateTime,N:Long,I:Integer,D:Double,F:YesNo";
// Text without a size holds 255 characters. Throws std::runtime_error.
std::vector<jet4::Column> ParseColumns(std::string_view list);

// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM:SS" (or a blank for the T) and "HH:MM:SS"
// (a time alone, on day 0). Throws std::runtime_error.
jet4::DateTime ParseDateTime(std::string_view text);

// The value for `column`; throws std::runtime_error saying what was expected.
jet4::Value ToValue(const JsonScalar& json, const jet4::Column& column);

}  // namespace mdbwrite
