#include "mdbwrite/wide_columns.h"

#include <string>

namespace mdbwrite {
namespace {

const char* const kFlags[] = {"Wiederholung", "Schwarzweiss", "Untertitel", "Stereo", "Dolby", "Breitbild",
                              "Zweikanal",    "Hoerfilm",     "Tipp",       "Neu",    "HDTV"};
const char* const kCountries[] = {"D", "USA", "GB", "F", "I", "A", "CH", "E", "DK", "S"};

// A memo as the guide product fills them: mostly empty or short, now and
// then a few hundred characters.
jet4::Value Memo(Random& rng, int emptyPercent) {
    if (rng.Chance(emptyPercent)) return jet4::Null{};
    const long chars = rng.Chance(80) ? rng.Between(20, 250) : rng.Between(300, 800);
    return Description(rng, chars);
}

}  // namespace

std::vector<jet4::Column> WideColumns() {
    using T = jet4::ColumnType;
    std::vector<jet4::Column> columns = {{"SenderID", T::Long},
                                         {"Ende", T::DateTime},
                                         {"Kurzbeschreibung", T::Memo},
                                         {"Kritik", T::Memo},
                                         {"Regie", T::Text, 255},
                                         {"Herstellungsland", T::Text, 100},
                                         {"Herstellungsjahr", T::Integer},
                                         {"FSK", T::Integer},
                                         {"Bild", T::Text, 255},
                                         {"Folge", T::Integer},
                                         {"Staffel", T::Integer},
                                         {"Stichworte", T::Text, 255},
                                         {"Gaeste", T::Memo}};
    for (const char* flag : kFlags) columns.push_back({flag, T::YesNo});
    return columns;
}

std::vector<jet4::Value> WideValues(Random& rng, bool film, jet4::DateTime day, int start, int minutes) {
    const bool series = !film && rng.Chance(40);
    std::vector<jet4::Value> values;
    auto number = [&](bool given, long lo, long hi) {
        values.push_back(given ? jet4::Value{std::int64_t{rng.Between(lo, hi)}} : jet4::Value{jet4::Null{}});
    };
    auto text = [&](bool given, const std::string& utf8) {
        values.push_back(given ? jet4::Text(utf8) : jet4::Value{jet4::Null{}});
    };
    number(true, 1, 400);
    values.push_back(jet4::DateTime{day.days + (start + minutes) / 1440.0});
    values.push_back(Memo(rng, 20));
    values.push_back(Memo(rng, 50));
    text(film, film ? Cast(rng) : "");
    text(film, kCountries[rng.Between(0, 9)]);
    number(film, 1950, 2026);
    number(rng.Chance(60), 0, 18);
    text(rng.Chance(50), "bild" + std::to_string(rng.Between(100000, 999999)) + ".jpg");
    number(series, 1, 200);
    number(series, 1, 20);
    text(rng.Chance(50), Genre(rng) + ", " + Genre(rng));
    values.push_back(Memo(rng, 70));
    for (std::size_t i = 0; i < std::size(kFlags); ++i) values.push_back(rng.Chance(15));
    return values;
}

}  // namespace mdbwrite
