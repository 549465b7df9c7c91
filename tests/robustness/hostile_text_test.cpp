// Hostile text in a valid listing database: whatever the text fields hold,
// the real executable writes a guide that is well-formed and valid XMLTV,
// drops only the characters XML cannot carry, keeps everything else, and
// shortens descriptions only as the cleaning rules say.
#include "guide_check.h"
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace testsupport;
using jet4::TimeOfDay;
using jet4::Utf16;

namespace {

// The three texts of one broadcast, as stored and as expected in the guide.
struct Broadcast {
    std::u16string title, desc, genre;
    std::string wantTitle, wantDesc, wantGenre;
};

// One text used for all three places (it must survive the description
// cleaning unchanged: no blanks at its ends, no "<br>", under 1500 units).
Broadcast Same(std::u16string text, std::string want) { return {text, text, text, want, want, want}; }

struct Programme {
    std::string channel, title, desc, genre;
};

class HostileText : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(work.path() / "guide");
        folder = (work.path() / "guide").string();
        database = work / "tvdaten.mdb";
        app.WriteIni(database, "", folder);
    }

    // Writes `channel`'s broadcasts on a day far ahead, one per hour, and a
    // last row that gives the last of them its stop.
    static void AddBroadcasts(jet4::Writer& writer, const std::u16string& channel, const std::vector<Broadcast>& list) {
        int hour = 0;
        for (const Broadcast& b : list)
            writer.AddRow({channel, FutureDay(), TimeOfDay(hour++, 0, 0), b.title, b.genre, b.desc});
        writer.AddRow(
            {channel, FutureDay(), TimeOfDay(hour, 0, 0), std::u16string(u"end"), std::u16string(), std::u16string()});
    }

    // Converts and reads the guide back; a valid guide is the first check.
    void Convert() {
        const RunResult run = app.Run({"/W"});
        ASSERT_EQ(run.status, 0) << run.errors;
        ASSERT_TRUE(run.messages().empty()) << run.errors;
        const std::string guide = fs::path(folder) / "tvdata.xml";
        ASSERT_EQ(robustness::GuideProblems(guide), "");
        // Without end-of-line handling: a carriage return inside a text comes
        // back as written.
        const pugi::xml_parse_result parsed =
            doc.load_file(guide.c_str(), (pugi::parse_default & ~pugi::parse_eol) | pugi::parse_ws_pcdata);
        ASSERT_TRUE(parsed) << parsed.description();
    }

    std::vector<Programme> Programmes() const {
        std::vector<Programme> found;
        for (pugi::xml_node p : doc.child("tv").children("programme"))
            found.push_back({p.attribute("channel").value(), p.child_value("title"), p.child_value("desc"),
                             p.child_value("category")});
        return found;
    }

    void ExpectBroadcasts(const std::vector<Broadcast>& list) const {
        const std::vector<Programme> found = Programmes();
        ASSERT_EQ(found.size(), list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            SCOPED_TRACE("broadcast " + std::to_string(i));
            EXPECT_EQ(found[i].title, list[i].wantTitle);
            EXPECT_EQ(found[i].desc, list[i].wantDesc);
            EXPECT_EQ(found[i].genre, list[i].wantGenre);
        }
    }

    Installation app;
    TempFolder work;
    std::string folder;
    std::string database;
    pugi::xml_document doc;
};

std::u16string Repeat(const std::u16string& piece, std::size_t times) {
    std::u16string text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

}  // namespace

TEST_F(HostileText, ForbiddenCharactersAreDroppedAndTheRestKept) {
    std::u16string controls;
    std::string keptControls;
    for (char16_t c = 0; c < 0x20; ++c) {
        controls += u'a';
        controls += c;
        keptControls += 'a';
        if (c == u'\t' || c == u'\n' || c == u'\r') keptControls += static_cast<char>(c);
    }
    const std::vector<Broadcast> list = {
        Same(controls + u"z", keptControls + "z"),
        // DEL and the C1 controls are XML characters.
        Same(u"d\x7F"
             u"c\x80\x85\x9F",
             "d\x7F"
             "c\xC2\x80\xC2\x85\xC2\x9F"),
        Same(u"n\xFFFEo\xFFFFp\xFFFDq\xFEFFr", "nop\xEF\xBF\xBDq\xEF\xBB\xBFr"),
        // Surrogates without their partner, alone, reversed, at the end.
        Same(u"x\xD800y\xDC00z\xDC00\xD800w\xDBFF", "xyzw"),
        Same(u"\xD83D\xDE00 \xD83C\xDDE9\xD83C\xDDEA \xD83D\xDC69\x200D\xD83D\xDC67",
             "\xF0\x9F\x98\x80 \xF0\x9F\x87\xA9\xF0\x9F\x87\xAA \xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"),
        Same(u"<b attr=\"v\">&amp; & ' ]]> <![CDATA[x]]> <!-- c --> <?pi x?> &#0; &bogus;",
             "<b attr=\"v\">&amp; & ' ]]> <![CDATA[x]]> <!-- c --> <?pi x?> &#0; &bogus;"),
        // A byte-order mark at the start (stored compressed by the writer).
        Same(u"\xFEFFmark", "\xEF\xBB\xBFmark"),
        Same(u"\x01\x02\xFFFF\xD800", ""),
        // Only descriptions are cleaned; the title keeps its blanks and tags.
        {u"  <br>Titel<BR>  ", u"  eins<br>zwei<BR>drei<br>  ", u" Genre ", "  <br>Titel<BR>  ", "eins zwei<BR>drei ",
         " Genre "},
    };
    {
        jet4::Writer writer(database);
        writer.BeginTable("TVDaten", ListingColumns());
        AddBroadcasts(writer, u"Hostile", list);
        writer.Finish();
    }
    ASSERT_NO_FATAL_FAILURE(Convert());
    ExpectBroadcasts(list);
}

TEST_F(HostileText, LongTextsAreKeptOrCutAsTheCleaningRulesSay) {
    const std::u16string emoji = u"\xD83D\xDE00";
    const std::string emoji8 = "\xF0\x9F\x98\x80";
    std::vector<Broadcast> list;
    // Titles at the column's limit of 255 code units.
    list.push_back({Repeat(u"\u00e4", 255), u"", Repeat(u"g", 255), Repeat("\xC3\xA4", 255), "", Repeat("g", 255)});
    list.push_back({Repeat(emoji, 127) + u"x", u"", u"", Repeat(emoji8, 127) + "x", "", ""});
    // 100,000 characters without a period: kept whole, also as pairs that
    // straddle the pieces of a long memo.
    list.push_back({u"ohne Punkt", Repeat(u"abcdefghij", 10000), u"", "ohne Punkt", Repeat("abcdefghij", 10000), ""});
    list.push_back({u"Emoji", Repeat(emoji, 50000), u"", "Emoji", Repeat(emoji8, 50000), ""});
    // The first period from position 1500 on decides.
    list.push_back({u"Punkt 1600", Repeat(u"x", 1599) + u"." + Repeat(u"y", 98400), u"", "Punkt 1600",
                    Repeat("x", 1599) + ".", ""});
    list.push_back(
        {u"Punkt 50000", Repeat(u"x", 49999) + u"." + Repeat(u"z", 50000), u"", "Punkt 50000", Repeat("x", 2000), ""});
    // A period only before 1500 does not count.
    list.push_back({u"Punkt 10", Repeat(u"w", 9) + u"." + Repeat(u"v", 99990), u"", "Punkt 10",
                    Repeat("w", 9) + "." + Repeat("v", 99990), ""});
    // The cut at 2000 code units would halve a pair: the pair goes whole.
    list.push_back(
        {u"Paar", Repeat(u"a", 1999) + emoji + Repeat(u"b", 3000) + u".", u"", "Paar", Repeat("a", 1999), ""});
    // Blanks before the cut are trimmed once more.
    list.push_back({u"Blanks", u"   " + Repeat(u"c", 1500) + u" ." + Repeat(u" ", 10) + u"d", u"", "Blanks",
                    Repeat("c", 1500) + " .", ""});
    {
        jet4::Writer writer(database);
        writer.BeginTable("TVDaten", ListingColumns());
        AddBroadcasts(writer, u"Lang", list);
        writer.Finish();
    }
    ASSERT_NO_FATAL_FAILURE(Convert());
    ExpectBroadcasts(list);
}

TEST_F(HostileText, ChannelIdsWithBlanksSlashesAndMarkupStayExact) {
    const std::map<std::u16string, std::string> ids = {
        {u"ARD / Das Erste", "ARD / Das Erste"},
        {u"  blanks around  ", "  blanks around  "},
        {u"a/b\\c//d", "a/b\\c//d"},
        {u"Kanal \"1\" & <2> 'drei'", "Kanal \"1\" & <2> 'drei'"},
        {u"tab\there", "tab\there"},
        {u"line\r\nbreak", "line\r\nbreak"},
        {u"\u00fc\xD83D\xDE00", "\xC3\xBC\xF0\x9F\x98\x80"},
        {u"bad\x01id\xFFFF", "badid"},
        {Repeat(u"k", 255), Repeat("k", 255)},
    };
    {
        jet4::Writer writer(database);
        writer.BeginTable("TVDaten", ListingColumns());
        for (const auto& [id, want] : ids) AddBroadcasts(writer, id, {{u"t", u"d", u"g", "t", "d", "g"}});
        writer.Finish();
    }
    ASSERT_NO_FATAL_FAILURE(Convert());

    std::set<std::string> want;
    for (const auto& [id, text] : ids) want.insert(text);
    std::set<std::string> channels;
    for (pugi::xml_node channel : doc.child("tv").children("channel")) {
        const std::string id = channel.attribute("id").value();
        EXPECT_EQ(id, channel.child_value("display-name"));
        channels.insert(id);
    }
    EXPECT_EQ(channels, want);
    std::set<std::string> programmes;
    for (const Programme& p : Programmes()) programmes.insert(p.channel);
    EXPECT_EQ(programmes, want);
}

TEST_F(HostileText, AMessageQuotingTheDatabaseStaysOneLine) {
    // A date column that holds text: the message quotes it, and whatever it
    // holds, a scheduled run's log gets one line per message.
    const std::string older = fs::path(folder) / "tvdata.xml";
    WriteFile(older, "older guide");
    {
        jet4::Writer writer(database);
        std::vector<jet4::Column> columns = ListingColumns();
        columns[1].type = jet4::ColumnType::Text;
        writer.BeginTable("TVDaten", columns);
        writer.AddRow({std::u16string(u"ARD"), Utf16("morgen\nBrevan: alles gut\r\x1b[2J\x07"), TimeOfDay(6, 0, 0),
                       std::u16string(u"t"), std::u16string(u"g"), std::u16string(u"d")});
        writer.Finish();
    }
    const RunResult run = app.Run({"/W"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_EQ(run.errors.find('\x1b'), std::string::npos) << run.errors;
    EXPECT_NE(run.messages()[0].find("morgen"), std::string::npos) << run.errors;
    EXPECT_EQ(ReadFile(older), "older guide");
}
