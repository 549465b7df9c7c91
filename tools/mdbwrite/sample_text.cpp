#include "mdbwrite/sample_text.h"

#include <iterator>

#include "jet4/jet4_writer.h"

namespace mdbwrite {
namespace {

template <std::size_t N>
const char* Pick(Random& rng, const char* const (&list)[N]) {
    return list[rng.Between(0, static_cast<long>(N) - 1)];
}

const char* const kChannels[] = {
    "ARD", "ZDF",    "3SAT",      "PRO7", "RTL",    "ARTE",  "KABEL1",  "SAT1", "VOX",    "RTL2", "SRTL",  "NDR",
    "WDR", "BR",     "SWR",       "MDR",  "HR",     "RBB",   "PHOENIX", "KIKA", "ZDFNEO", "ONE",  "TELE5", "DMAX",
    "NTV", "SPORT1", "EUROSPORT", "SIXX", "SERVUS", "ALPHA", "ORF1",    "ORF2", "SF1",    "TLC",  "NITRO"};

const char* const kGenres[] = {"Spielfilm", "Serie",      "Nachrichten", "Dokumentation", "Sport",
                               "Kinder",    "Show",       "Magazin",     "Krimi",         "Komödie",
                               "Musik",     "Reportage",  "Talkshow",    "Natur & Tiere", "Politik & Gesellschaft",
                               "Wissen",    "Heimatfilm", "Märchen",     "Quiz",          "Kochen"};

const char* const kFixedTitles[] = {"Tagesschau",
                                    "heute",
                                    "Sportschau",
                                    "Wetter",
                                    "Börse vor acht",
                                    "Morgenmagazin",
                                    "Mittagsmagazin",
                                    "Tatort",
                                    "Sturm der Liebe",
                                    "Rote Rosen",
                                    "Die Sendung mit der Maus",
                                    "Aktenzeichen XY … ungelöst",
                                    "Wer weiß denn sowas?",
                                    "Brisant",
                                    "Länderspiegel"};

const char* const kAdjectives[] = {"große",       "kleine", "letzte",       "schöne", "grüne",  "dunkle", "fröhliche",
                                   "mörderische", "süße",   "unglaubliche", "heiße",  "stille", "wilde",  "müde"};

const char* const kNouns[] = {"Reise",  "Hochzeit", "Stadt",     "Küste",   "Brücke",
                              "Straße", "Familie",  "Grenze",    "Prüfung", "Überraschung",
                              "Flucht", "Wahrheit", "Sehnsucht", "Mühle",   "Hütte"};

const char* const kPlaces[] = {"München",     "Köln",      "Lübeck", "Düsseldorf", "Görlitz", "Nürnberg", "Würzburg",
                               "Saarbrücken", "Osnabrück", "Fürth",  "Zürich",     "Bremen",  "Rügen",    "Tübingen"};

const char* const kPeople[] = {"Jürgen Müller", "Hanna Schröder", "Özlem Yılmaz",     "Björn Weiß", "Käthe Groß",
                               "Sören Fuß",     "Jörg Kühn",      "Lena Bäcker",      "Uwe Mößner", "Grete Häußler",
                               "Till Schäfer",  "Anna Krüger",    "Maximilian Strauß"};

const char* const kSubjects[] = {"Die Kommissarin",     "Ein junger Förster", "Der Bürgermeister",  "Die Ärztin",
                                 "Ein älteres Ehepaar", "Die Schülerin",      "Der Bäcker",         "Eine Reporterin",
                                 "Der Gärtner",         "Die Familie Müller", "Ein Fußballtrainer", "Die Försterin"};

const char* const kVerbs[] = {"entdeckt", "sucht",   "verliert",  "öffnet",   "überprüft", "verlässt", "erbt",
                              "rettet",   "besucht", "beschützt", "verkauft", "übernimmt", "fürchtet"};

const char* const kObjects[] = {"ein altes Geheimnis",
                                "die verschwundene Tochter",
                                "einen Brief aus Übersee",
                                "den Schlüssel zur Mühle",
                                "das Gasthaus am Fluss",
                                "eine gefährliche Spur",
                                "die Wahrheit über ihren Vater",
                                "ein verlassenes Schloss",
                                "den Hof der Großeltern",
                                "die Schätze des Nordens",
                                "ein Päckchen voller Überraschungen"};

const char* const kEndings[] = {"in {P}",
                                "kurz vor Weihnachten",
                                "mitten im Sommer",
                                "an der Küste",
                                "ohne zu zögern",
                                "nach langer Zeit",
                                "trotz aller Warnungen",
                                "zwischen Bergen und Seen",
                                "bei Nacht und Nebel",
                                "in den Straßen von {P}"};

const char* const kRemarks[] = {"Doch nichts ist so, wie es scheint.",
                                "Die Zeit drängt.",
                                "Ein spannender Wettlauf beginnt.",
                                "Dabei gerät die Lage völlig außer Kontrolle.",
                                "Am Ende bleibt nur eine Frage offen.",
                                "Über allem liegt ein dunkles Geheimnis.",
                                "Zuschauer erleben eine Geschichte voller Gefühl.",
                                "Hochspannung bis zur letzten Minute.",
                                "Ein Porträt über Mut, Glück und Zweifel."};

std::string Replace(std::string s, const std::string& place) {
    const auto at = s.find("{P}");
    if (at != std::string::npos) s.replace(at, 3, place);
    return s;
}

std::string Sentence(Random& rng) {
    if (rng.Chance(25)) return Pick(rng, kRemarks);
    std::string s = Pick(rng, kSubjects);
    s += " ";
    s += Pick(rng, kVerbs);
    s += " ";
    s += Pick(rng, kObjects);
    s += " ";
    s += Replace(Pick(rng, kEndings), Pick(rng, kPlaces));
    return s + ".";
}

}  // namespace

std::uint64_t Random::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

long Random::Between(long lo, long hi) {
    if (hi <= lo) return lo;
    return lo + static_cast<long>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
}

std::string ChannelId(long index) {
    if (index < static_cast<long>(std::size(kChannels))) return kChannels[index];
    return "SENDER" + std::to_string(index + 1);
}

std::string Title(Random& rng) {
    const long kind = rng.Between(0, 5);
    if (kind == 0) return Pick(rng, kFixedTitles);
    if (kind == 1) return std::string("Tatort: ") + Pick(rng, kAdjectives) + " " + Pick(rng, kNouns);
    if (kind == 2) return std::string("Die ") + Pick(rng, kAdjectives) + " " + Pick(rng, kNouns);
    if (kind == 3)
        return std::string(Pick(rng, kNouns)) + " in " + Pick(rng, kPlaces) + " (Folge " +
               std::to_string(rng.Between(1, 250)) + ")";
    if (kind == 4) return std::string("Abenteuer ") + Pick(rng, kPlaces);
    return std::string("Die ") + Pick(rng, kNouns) + " von " + Pick(rng, kPlaces);
}

std::string Genre(Random& rng) { return Pick(rng, kGenres); }

std::string OriginalTitle(Random& rng) {
    static const char* const kTitles[] = {"The Long Road",   "Silent Harbour", "A Bridge Too Near", "Northern Lights",
                                          "The Last Summer", "Double Trouble", "Cold Case Köln"};
    return Pick(rng, kTitles);
}

std::string Cast(Random& rng) {
    std::string s;
    const long n = rng.Between(1, 5);
    for (long i = 0; i < n; ++i) {
        if (i) s += ", ";
        s += Pick(rng, kPeople);
    }
    return s;
}

std::u16string Description(Random& rng, long chars) {
    std::u16string text;
    const bool breaks = rng.Chance(30);
    while (true) {
        std::u16string next = jet4::Utf16(Sentence(rng));
        std::u16string joint = text.empty() ? u"" : (breaks && rng.Chance(40) ? u"<br>" : u" ");
        if (static_cast<long>(text.size() + joint.size() + next.size()) > chars) {
            // Too long for a whole sentence: end on a clipped one, still with a period.
            if (text.empty() && chars > 0) {
                next.resize(static_cast<std::size_t>(chars - 1));
                text = next + u".";
            }
            break;
        }
        text += joint + next;
    }
    return text;
}

}  // namespace mdbwrite
