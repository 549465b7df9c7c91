#include "mdbwrite/sample_listing.h"

#include <stdexcept>

#include "mdbwrite/table_input.h"

namespace mdbwrite {

CalendarDay ParseDate(const std::string& text) {
  if (text.size() != 10) throw std::runtime_error("bad date \"" + text + "\" (YYYY-MM-DD)");
  ParseDateTime(text);  // validates
  return {std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)), std::stoi(text.substr(8, 2))};
}

void WriteSampleListing(jet4::Writer&, const SampleOptions&) { throw std::runtime_error("--sample: not yet"); }

}  // namespace mdbwrite
