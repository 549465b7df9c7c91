// The further columns of a wide listing table, as the guide product keeps
// them beside the six the conversion reads: ids, end time, texts and memos,
// a dozen Yes/No flags, episode and season.
#pragma once

#include <vector>

#include "jet4/jet4_writer.h"
#include "mdbwrite/sample_text.h"

namespace mdbwrite {

// The 24 columns that follow the sample's own.
std::vector<jet4::Column> WideColumns();

// One row's values for WideColumns(), drawn from `rng` alone, so that the
// sample's own columns stay those of a narrow listing of the same seed.
// `film` rows get a director, a country and a year; `start` and `minutes`
// give the end time.
std::vector<jet4::Value> WideValues(Random& rng, bool film, jet4::DateTime day, int start, int minutes);

}  // namespace mdbwrite
