#include "mdbwrite/sample_listing.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <set>
#include <stdexcept>
#include <vector>

#include "mdbwrite/sample_text.h"
#include "mdbwrite/table_input.h"

namespace mdbwrite {
namespace {

constexpr long kShortMax = 1500;  // "long" descriptions are longer than this

CalendarDay Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::vector<jet4::Column> SampleColumns() {
  using T = jet4::ColumnType;
  return {{"SendungID", T::Long},      {"Senderkennung", T::Text, 50}, {"Datum", T::DateTime},
          {"Uhrzeit", T::DateTime},    {"Dauer", T::Integer},          {"Sendung", T::Text, 255},
          {"Originaltitel", T::Text, 255}, {"Genre", T::Text, 100},    {"Bewertung", T::Integer},
          {"Live", T::YesNo},          {"Beschreibung", T::Memo},      {"Darsteller", T::Memo}};
}

void Check(const SampleOptions& o) {
  if (o.channels < 1) throw std::runtime_error("--channels must be at least 1");
  if (o.perDayMin < 1 || o.perDayMax < o.perDayMin || o.perDayMax > 1440)
    throw std::runtime_error("--per-day needs 1 <= MIN <= MAX <= 1440");
  if (o.longSharePercent > 100) throw std::runtime_error("--long-share is a percentage, 0 to 100");
}

// Distinct start minutes of one channel's day, ascending.
std::vector<int> StartMinutes(Random& rng, long count) {
  std::set<int> minutes;
  while (static_cast<long>(minutes.size()) < count) minutes.insert(static_cast<int>(rng.Between(0, 1439)));
  return {minutes.begin(), minutes.end()};
}

long DescriptionLength(Random& rng, const SampleOptions& o) {
  if (rng.Chance(5)) return 0;
  if (o.maxDescription > kShortMax && rng.Chance(static_cast<int>(o.longSharePercent)))
    return rng.Between(kShortMax + 1, o.maxDescription);
  return rng.Between(1, std::min(kShortMax, o.maxDescription));
}

}  // namespace

CalendarDay ParseDate(const std::string& text) {
  if (text.size() != 10) throw std::runtime_error("bad date \"" + text + "\" (YYYY-MM-DD)");
  ParseDateTime(text);  // validates
  return {std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)), std::stoi(text.substr(8, 2))};
}

void WriteSampleListing(jet4::Writer& writer, const SampleOptions& o) {
  Check(o);
  const CalendarDay first = o.firstDay.year ? o.firstDay : Today();
  const double firstDay = jet4::Date(first.year, first.month, first.day).days;
  Random rng(o.seed);

  // Channels in a shuffled order, so the rows are not sorted by channel id.
  std::vector<long> order(static_cast<std::size_t>(o.channels));
  for (long i = 0; i < o.channels; ++i) order[static_cast<std::size_t>(i)] = i;
  for (std::size_t i = order.size(); i > 1; --i)
    std::swap(order[i - 1], order[static_cast<std::size_t>(rng.Between(0, static_cast<long>(i) - 1))]);

  const long days = o.days >= 0 ? o.days : (o.rowsTotal > 0 ? LONG_MAX : 3);

  writer.BeginTable("TVDaten", SampleColumns());
  long written = 0;
  for (long day = -o.pastDays; day < days; ++day) {
    const jet4::DateTime datum{firstDay + static_cast<double>(day)};
    for (long channel : order) {
      const jet4::Value id = jet4::Text(ChannelId(channel));
      const std::vector<int> starts = StartMinutes(rng, rng.Between(o.perDayMin, o.perDayMax));
      for (std::size_t k = 0; k < starts.size(); ++k) {
        if (o.rowsTotal > 0 && written >= o.rowsTotal) {
          writer.EndTable();
          return;
        }
        const int start = starts[k];
        const int next = k + 1 < starts.size() ? starts[k + 1] : 1440 + starts.front();
        const bool film = rng.Chance(30);
        writer.AddRow({
            std::int64_t{written + 1},
            id,
            datum,
            jet4::TimeOfDay(start / 60, start % 60, 0),
            std::int64_t{next - start},
            jet4::Text(Title(rng)),
            film ? jet4::Text(OriginalTitle(rng)) : jet4::Value{jet4::Null{}},
            jet4::Text(Genre(rng)),
            rng.Chance(20) ? jet4::Value{jet4::Null{}} : jet4::Value{std::int64_t{rng.Between(0, 5)}},
            rng.Chance(5),
            Description(rng, DescriptionLength(rng, o)),
            film ? jet4::Text(Cast(rng)) : jet4::Value{jet4::Null{}},
        });
        ++written;
      }
    }
  }
  writer.EndTable();
}

}  // namespace mdbwrite
