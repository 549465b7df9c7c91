#include "mdbwrite/sample_listing.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <set>
#include <stdexcept>
#include <vector>

#include "mdbwrite/sample_text.h"
#include "mdbwrite/table_input.h"
#include "mdbwrite/wide_columns.h"

namespace mdbwrite {
namespace {

constexpr long kShortMax = 1500;  // "long" descriptions are longer than this
// Aging draws from its own stream, so the live rows stay the pristine ones.
constexpr std::uint64_t kAgingStream = 0xA61A6E5EEDULL;
// So do the wide columns, so the sample's own columns stay those of a narrow listing.
constexpr std::uint64_t kWideStream = 0x5A1DE5EEDULL;
constexpr int kCompactedPercent = 20;               // deleted rows whose bytes were reclaimed
constexpr std::int64_t kWithdrawnIds = 1000000000;  // withdrawn programmes' IDs start above any live one

// Row positions of SampleColumns().
enum { kId, kChannel, kDay, kStart, kMinutes, kTitle, kOriginal, kGenre, kRating, kLive, kDescription, kCast };

CalendarDay Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::vector<jet4::Column> SampleColumns() {
    using T = jet4::ColumnType;
    return {{"SendungID", T::Long},          {"Senderkennung", T::Text, 50},
            {"Datum", T::DateTime},          {"Uhrzeit", T::DateTime},
            {"Dauer", T::Integer},           {"Sendung", T::Text, 255},
            {"Originaltitel", T::Text, 255}, {"Genre", T::Text, 100},
            {"Bewertung", T::Integer},       {"Live", T::YesNo},
            {"Beschreibung", T::Memo},       {"Darsteller", T::Memo}};
}

void Check(const SampleOptions& o) {
    if (o.channels < 1) throw std::runtime_error("--channels must be at least 1");
    if (o.perDayMin < 1 || o.perDayMax < o.perDayMin || o.perDayMax > 1440)
        throw std::runtime_error("--per-day needs 1 <= MIN <= MAX <= 1440");
    if (o.longSharePercent > 100) throw std::runtime_error("--long-share is a percentage, 0 to 100");
    if (o.deletedSharePercent > 100) throw std::runtime_error("--deleted-share is a percentage, 0 to 100");
    if (o.movedSharePercent > 100) throw std::runtime_error("--moved-share is a percentage, 0 to 100");
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

// What the updater deleted next to a live programme: an older version of it
// (same channel and day, another time or title), or a programme it withdrew.
std::vector<jet4::Value> Superseded(std::vector<jet4::Value> row, Random& aging, std::int64_t& withdrawn) {
    const long kind = aging.Between(1, 10);
    if (kind <= 4) {
        const int start = static_cast<int>(aging.Between(0, 1439));
        row[kStart] = jet4::TimeOfDay(start / 60, start % 60, 0);
    } else if (kind <= 7) {
        row[kTitle] = jet4::Text(Title(aging));
    } else {
        const int start = static_cast<int>(aging.Between(0, 1439));
        row[kId] = std::int64_t{++withdrawn};
        row[kStart] = jet4::TimeOfDay(start / 60, start % 60, 0);
        row[kMinutes] = std::int64_t{aging.Between(5, 120)};
        row[kTitle] = jet4::Text(Title(aging));
        row[kOriginal] = jet4::Null{};
        row[kGenre] = jet4::Text(Genre(aging));
        row[kRating] = jet4::Null{};
        row[kLive] = false;
        row[kDescription] = Description(aging, aging.Between(0, kShortMax));
        row[kCast] = jet4::Null{};
    }
    return row;
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
    Random aging(o.seed ^ kAgingStream);
    Random wide(o.seed ^ kWideStream);
    std::int64_t withdrawn = kWithdrawnIds;

    // Channels in a shuffled order, so the rows are not sorted by channel id.
    std::vector<long> order(static_cast<std::size_t>(o.channels));
    for (long i = 0; i < o.channels; ++i) order[static_cast<std::size_t>(i)] = i;
    for (std::size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[static_cast<std::size_t>(rng.Between(0, static_cast<long>(i) - 1))]);

    const long days = o.days >= 0 ? o.days : (o.rowsTotal > 0 ? LONG_MAX : 3);

    std::vector<jet4::Column> columns = SampleColumns();
    if (o.wide) {
        const std::vector<jet4::Column> more = WideColumns();
        columns.insert(columns.end(), more.begin(), more.end());
    }
    writer.BeginTable("TVDaten", columns);
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
                std::vector<jet4::Value> row = {
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
                };
                if (o.wide) {
                    const std::vector<jet4::Value> more = WideValues(wide, film, datum, start, next - start);
                    row.insert(row.end(), more.begin(), more.end());
                }
                if (o.deletedSharePercent > 0 && aging.Chance(static_cast<int>(o.deletedSharePercent))) {
                    const jet4::RowState state =
                        aging.Chance(kCompactedPercent) ? jet4::RowState::Compacted : jet4::RowState::Deleted;
                    writer.AddRow(Superseded(row, aging, withdrawn), {state});
                }
                const bool moved = o.movedSharePercent > 0 && aging.Chance(static_cast<int>(o.movedSharePercent));
                writer.AddRow(row, {moved ? jet4::RowState::Moved : jet4::RowState::Live});
                ++written;
            }
        }
    }
    writer.EndTable();
}

}  // namespace mdbwrite
