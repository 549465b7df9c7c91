// The conversion as a program: the real executable and a real listing
// database made by the Jet 4 writer; its exit status, its messages, its
// switches, and the older guide it keeps when it fails. What the guide holds
// is tested in-process (tests/convert/conversion_test.cpp). The rows lie far
// ahead, so that the date the program reads does not matter.
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using namespace testsupport;
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

ListingRow Row(const char* channel, jet4::DateTime time, const char* title) {
    return Listing(channel, FutureDay(), time, title, "", "");
}

}  // namespace

TEST_F(Conversion, EmptyTableWritesNothingAndSucceeds) {
    WriteListingDb(database, {});
    WriteFile(fs::path(outputFolder) / "tvdata.xml", "older guide");
    const RunResult run = convert();
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(run.messages().empty()) << run.errors;
    EXPECT_EQ(guide(), "older guide");
}

TEST_F(Conversion, FailuresShowOneMessageAndKeepTheOlderGuide) {
    WriteListingDb(database, {Row("ARD", TimeOfDay(9, 0, 0), "a"), Row("ARD", TimeOfDay(10, 0, 0), "b")});
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
        writer.BeginTable("TVDaten",
                          {{"Senderkennung", jet4::ColumnType::Text}, {"Datum", jet4::ColumnType::DateTime}});
        writer.AddRow({jet4::Text("ARD"), FutureDay()});
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
    WriteListingDb(database, {Row("ARD", TimeOfDay(9, 0, 0), "a")});
    WriteFile(fs::path(outputFolder) / "tvdata.xml", "older guide");
    fs::permissions(outputFolder, fs::perms::owner_read | fs::perms::owner_exec);
    const RunResult run = convert();
    fs::permissions(outputFolder, fs::perms::owner_all);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_EQ(guide(), "older guide");
}

TEST_F(Conversion, SwitchesCountByTheirFirstTwoCharacters) {
    WriteListingDb(database, {Row("ARD", TimeOfDay(9, 0, 0), "a")});
    // Anything else is a usage error: one line naming the switches, status 2,
    // nothing done (a cron line with a typo must not report success).
    for (const char* unknown : {"/w", "-W", " /W", "W"}) {
        const RunResult run = app.Run({unknown});
        EXPECT_EQ(run.status, 2) << unknown;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
        for (const char* named : {"/W", "/U", "--help"})
            EXPECT_NE(run.errors.find(named), std::string::npos) << run.errors;
        EXPECT_FALSE(guideExists()) << unknown;
    }
    // Control characters and bytes that are not UTF-8 are shown escaped:
    // the line stays one line and sends the terminal no command.
    RunResult run = app.Run({"/x\n\x1b[2J\xc2\x9b\xff\"\\ü"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.errors.find("brevan: unknown argument \"/x\\n\\x1B[2J\\u009B\\xFF\\\"\\\\ü\"; "), 0u) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;

    run = app.Run({"/Wjunk"});
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

TEST_F(Conversion, HelpAndVersionNeedNoDisplayAndSayWhereThingsAre) {
    RunResult run = app.Run({"--help"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.output.find("Settings: " + app.iniPath() + "\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Guide:    " + outputFolder + "/tvdata.xml\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.errors, "");
    run = app.Run({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, std::string("brevan ") + BREVAN_VERSION_TEXT + "\n");

    // Output that cannot be written is a failure, as for GNU tools.
    for (const char* option : {"--help", "--version"}) {
        run = RunProgram({"/bin/sh", "-c", "exec \"$0\" " + std::string(option) + " >/dev/full", app.exe()});
        EXPECT_EQ(run.status, 1) << option;
        EXPECT_EQ(run.errors, "brevan: write error: No space left on device\n") << option;
    }
}

TEST_F(Conversion, WideTableGivesTheGuideOfItsSixFields) {
    // The guide product's table holds many more fields than the six read;
    // what they hold (Nulls, long memos) never matters, a read field the
    // table lacks fails as ever.
    const std::vector<ListingRow> rows = {Listing("ARD", FutureDay(), TimeOfDay(9, 0, 0), "a", "Krimi", "Mord."),
                                          Listing("ARD", FutureDay(), TimeOfDay(10, 0, 0), "b", "", "")};
    WriteListingDb(database, rows);
    ASSERT_EQ(convert().status, 0);
    const std::string narrowGuide = guide();

    auto writeWide = [&](bool withGenre, std::size_t count) {
        using T = jet4::ColumnType;
        std::vector<jet4::Column> columns = {{"SendungID", T::Long}, {"Kritik", T::Memo}};
        for (const jet4::Column& c : ListingColumns())
            if (withGenre || c.name != "Genre") columns.push_back(c);
        columns.insert(columns.end(), {{"Tipp", T::YesNo}, {"Gaeste", T::Memo}, {"Regie", T::Text, 255}});
        jet4::Writer writer(database);
        writer.BeginTable("TVDaten", columns);
        for (std::size_t i = 0; i < count; ++i) {
            const ListingRow& r = rows[i];
            std::vector<jet4::Value> values = {
                jet4::Null{}, std::u16string(9000, u'k'), r.senderkennung, r.datum, r.uhrzeit, r.sendung};
            if (withGenre) values.push_back(r.genre);
            values.insert(values.end(), {r.beschreibung, true, jet4::Null{}, jet4::Null{}});
            writer.AddRow(values);
        }
        writer.Finish();
    };
    writeWide(true, rows.size());
    RunResult run = convert();
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(guide(), narrowGuide);

    fs::remove(fs::path(outputFolder) / "tvdata.xml");
    writeWide(false, rows.size());
    run = convert();
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find("Genre"), std::string::npos) << run.messages()[0];
    EXPECT_FALSE(guideExists());

    writeWide(false, 0);
    run = convert();
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_FALSE(guideExists());
}
