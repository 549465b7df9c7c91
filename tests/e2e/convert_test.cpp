// The conversion end to end: the real executable, a real listing database
// made by the Jet 4 writer, and the bytes of tvdata.xml.
#include "e2e_support.h"
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using namespace testsupport;
using e2e::ChannelXml;
using e2e::GuideXml;
using e2e::ProgrammeXml;
using e2e::Stamp;
using jet4::TimeOfDay;

namespace {

class Conversion : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(out.path() / "guide");
        outputFolder = (out.path() / "guide").string();
        database = out / "tvdaten.mdb";
        app.WriteIni(database, "", outputFolder);
    }
    std::string guide() const { return ReadFile(fs::path(outputFolder) / "tvdata.xml"); }
    bool guideExists() const { return fs::exists(fs::path(outputFolder) / "tvdata.xml"); }
    RunResult convert() const { return app.Run({"/W"}); }

    Installation app;
    TempFolder out;
    std::string outputFolder;
    std::string database;
};

ListingRow Row(const char* channel, int day, jet4::DateTime time, const char* title, const char* desc = "", const char* genre = "") {
    return Listing(channel, DayFromToday(day), time, title, genre, desc);
}

} // namespace

TEST_F(Conversion, EmptyTableWritesNothingAndSucceeds) {
    WriteListingDb(database, {});
    WriteFile(fs::path(outputFolder) / "tvdata.xml", "older guide");
    const RunResult run = convert();
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(run.messages().empty()) << run.errors;
    EXPECT_EQ(guide(), "older guide");
}

TEST_F(Conversion, OneRowGivesOneChannelAndNoProgramme) {
    WriteListingDb(database, {Row("ARD", 0, TimeOfDay(20, 15, 0), "Tagesschau")});
    const RunResult run = convert();
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(guide(), GuideXml(ChannelXml("ARD")));
}

TEST_F(Conversion, WritesTheWholeGuideByteForByte) {
    // Stored out of order: the query sorts by channel, date and time.
    WriteListingDb(database, {
        Row("ZDF", 0, TimeOfDay(1, 0, 0), "U"),
        Row("ARD", 0, TimeOfDay(8, 0, 0), "C", "drei", "Show"),
        Row("ARD", 0, TimeOfDay(6, 0, 0), "A", "  eins<br>zwei  ", "Nachrichten"),
        Row("ZDF", -1, TimeOfDay(23, 50, 0), "Y"),
        Row("ARD", 0, TimeOfDay(7, 0, 0), "B", "", "Krimi"),
        Row("ZDF", 0, TimeOfDay(0, 30, 0), "T", "Nacht", "Film"),
    });
    const RunResult run = convert();
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(guide(), GuideXml(ChannelXml("ARD") + ChannelXml("ZDF") +
                                ProgrammeXml(Stamp(0, "06:00:00"), Stamp(0, "07:00:00"), "ARD", "A", "eins zwei", "Nachrichten") +
                                ProgrammeXml(Stamp(0, "07:00:00"), Stamp(0, "08:00:00"), "ARD", "B", "", "Krimi") +
                                ProgrammeXml(Stamp(0, "00:30:00"), Stamp(0, "01:00:00"), "ZDF", "T", "Nacht", "Film")));
}

TEST_F(Conversion, PairsOnlyRowsOfOneChannelWithDifferentTimes) {
    WriteListingDb(database, {
        // Same clock time on two days: the first of them is dropped.
        Row("K1", 0, TimeOfDay(23, 0, 0), "Late"),
        Row("K1", 1, TimeOfDay(23, 0, 0), "Next late"),
        Row("K1", 1, TimeOfDay(23, 30, 0), "After"),
        // Equal date and time: the first is dropped.
        Row("K2", 2, TimeOfDay(10, 0, 0), "Twin"),
        Row("K2", 2, TimeOfDay(10, 0, 0), "Twin"),
        Row("K2", 2, TimeOfDay(11, 0, 0), "End"),
        // All in the past: a channel element, no programme.
        Row("K3", -3, TimeOfDay(10, 0, 0), "Old"),
        Row("K3", -2, TimeOfDay(10, 0, 0), "Older"),
    });
    const RunResult run = convert();
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(guide(), GuideXml(ChannelXml("K1") + ChannelXml("K2") + ChannelXml("K3") +
                                ProgrammeXml(Stamp(1, "23:00:00"), Stamp(1, "23:30:00"), "K1", "Next late", "", "") +
                                ProgrammeXml(Stamp(2, "10:00:00"), Stamp(2, "11:00:00"), "K2", "Twin", "", "")));
}

TEST_F(Conversion, ChannelIdsKeepCaseAndAreEscaped) {
    WriteListingDb(database, {
        Row("arte", 0, TimeOfDay(9, 0, 0), "a"),
        Row("ARTE", 0, TimeOfDay(9, 0, 0), "b"),
        Row("R&B <\"live\">", -5, TimeOfDay(9, 0, 0), "c"),
    });
    const RunResult run = convert();
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::string xml = guide();
    EXPECT_NE(xml.find("<channel id=\"arte\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<channel id=\"ARTE\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<channel id=\"R&amp;B &lt;&quot;live&quot;>\">\r\n\t<display-name lang=\"de\">R&amp;B &lt;\"live\"&gt;</display-name>"),
              std::string::npos)
        << xml;
}

TEST_F(Conversion, NullsFailOnlyWhereTheyAreRead) {
    // A Null title on a past row is never read.
    auto past = Row("ARD", -1, TimeOfDay(9, 0, 0), "x");
    past.sendung = jet4::Null{};
    WriteListingDb(database, {past, Row("ARD", 0, TimeOfDay(9, 0, 0), "a"), Row("ARD", 0, TimeOfDay(10, 0, 0), "b")});
    RunResult run = convert();
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(guideExists());

    // The same on a row from today fails the run and keeps the older guide.
    for (auto field : {&ListingRow::sendung, &ListingRow::genre, &ListingRow::beschreibung, &ListingRow::uhrzeit,
                       &ListingRow::senderkennung, &ListingRow::datum}) {
        WriteFile(fs::path(outputFolder) / "tvdata.xml", "older guide");
        auto today = Row("ARD", 0, TimeOfDay(9, 0, 0), "x");
        today.*field = jet4::Null{};
        fs::remove(database);
        WriteListingDb(database, {today, Row("ARD", 0, TimeOfDay(10, 0, 0), "b"), Row("ARD", 0, TimeOfDay(11, 0, 0), "c")});
        run = convert();
        EXPECT_EQ(run.status, 1);
        ASSERT_EQ(run.messages().size(), 1u) << run.errors;
        EXPECT_NE(run.messages()[0].find("Null"), std::string::npos) << run.errors;
        EXPECT_EQ(guide(), "older guide");
    }
}

TEST_F(Conversion, FailuresShowOneMessageAndKeepTheOlderGuide) {
    WriteListingDb(database, {Row("ARD", 0, TimeOfDay(9, 0, 0), "a"), Row("ARD", 0, TimeOfDay(10, 0, 0), "b")});
    const fs::path older = fs::path(outputFolder) / "tvdata.xml";

    struct Case {
        const char* what;
        std::string databasePath, folder;
    };
    const std::string textFile = out / "text.mdb";
    WriteFile(textFile, "this is no database\n");
    const std::string otherTable = out / "other.mdb";
    {
        jet4::Writer writer(otherTable);
        writer.BeginTable("Programme", {{"Senderkennung", jet4::ColumnType::Text}});
        writer.Finish();
    }
    const std::string missingField = out / "nofield.mdb";
    {
        jet4::Writer writer(missingField);
        writer.BeginTable("TVDaten", {{"Senderkennung", jet4::ColumnType::Text}, {"Datum", jet4::ColumnType::DateTime}});
        writer.AddRow({jet4::Text("ARD"), DayFromToday(0)});
        writer.Finish();
    }
    const std::string cut = out / "cut.mdb";
    {
        std::string bytes = ReadFile(database);
        WriteFile(cut, bytes.substr(0, bytes.size() / 2));
    }
    const std::vector<Case> cases = {
        {"missing database", out / "nothere.mdb", outputFolder},
        {"directory", out.path().string(), outputFolder},
        {"text file", textFile, outputFolder},
        {"missing table", otherTable, outputFolder},
        {"missing field", missingField, outputFolder},
        {"file cut short", cut, outputFolder},
        {"empty path", "", outputFolder},
        {"missing output folder", database, out / "nowhere"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(older, "older guide");
        app.WriteIni(c.databasePath, "", c.folder);
        const RunResult run = convert();
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.messages().size(), 1u) << run.errors;
        EXPECT_EQ(ReadFile(older), "older guide");
    }
}

TEST_F(Conversion, ReadOnlyOutputFolderKeepsTheOlderGuide) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    WriteListingDb(database, {Row("ARD", 0, TimeOfDay(9, 0, 0), "a")});
    WriteFile(fs::path(outputFolder) / "tvdata.xml", "older guide");
    fs::permissions(outputFolder, fs::perms::owner_read | fs::perms::owner_exec);
    const RunResult run = convert();
    fs::permissions(outputFolder, fs::perms::owner_all);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_EQ(guide(), "older guide");
}

TEST_F(Conversion, SwitchesCountByTheirFirstTwoCharacters) {
    WriteListingDb(database, {Row("ARD", 0, TimeOfDay(9, 0, 0), "a")});
    // Anything else is a usage error: one line naming the switches, status 2,
    // nothing done (a cron line with a typo must not report success).
    for (const char* unknown : {"/w", "-W", " /W", "W"}) {
        const RunResult run = app.Run({unknown});
        EXPECT_EQ(run.status, 2) << unknown;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
        for (const char* named : {"/W", "/U", "--help"}) EXPECT_NE(run.errors.find(named), std::string::npos) << run.errors;
        EXPECT_FALSE(guideExists()) << unknown;
    }
    RunResult run = app.Run({"/Wjunk"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(guideExists());
    fs::remove(fs::path(outputFolder) / "tvdata.xml");
    run = app.Run({"/W", "junk"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(guideExists());
}

TEST_F(Conversion, UnreachableDisplayFallsBackToStandardError) {
    // A scheduled job with a stale DISPLAY: no abort inside Qt, no box that
    // nobody can see, but the message on standard error and status 1.
    app.WriteIni(out / "nothere.mdb", "", outputFolder);
    RunResult run = app.Run({"/W"}, 60, {"DISPLAY=:97"});
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_EQ(run.messages().size(), 1u) << run.errors;

    run = app.Run({}, 60, {"DISPLAY=:97"});
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_NE(run.errors.find("display"), std::string::npos) << run.errors;
}
