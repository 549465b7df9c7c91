// tv_grab_de_brevan as the programs that run grabbers see it: the real
// binary beside brevan and brevan-reader, real listing databases made by the
// Jet 4 writer, and XMLTV's own validator.
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;
namespace chrono = std::chrono;
using namespace testsupport;
using jet4::TimeOfDay;

namespace {

// A date `days` from today, local time, as the grabber counts its windows.
chrono::year_month_day DayFromToday(int days) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const chrono::sys_days today{chrono::year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday};
    return chrono::year_month_day{today + chrono::days{days}};
}

int DaysFromToday(chrono::year_month_day day) {
    return static_cast<int>((chrono::sys_days{day} - chrono::sys_days{DayFromToday(0)}).count());
}

jet4::DateTime Day(chrono::year_month_day day) {
    return jet4::Date(int(day.year()), unsigned(day.month()), unsigned(day.day()));
}

// The <programme> elements of a document, in order.
std::vector<std::string> Programmes(const std::string& document) {
    std::vector<std::string> found;
    for (std::size_t at = 0; (at = document.find("<programme ", at)) != std::string::npos;) {
        const std::size_t end = document.find("</programme>", at);
        found.push_back(document.substr(at, end - at));
        at = end;
    }
    return found;
}

class Grabber : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(BREVAN_GRABBER_EXE, grabber);
        WriteConfig(database, "");
    }
    void WriteConfig(const std::string& databasePath, const std::string& updater) const {
        WriteFile(config, "[Default]\nTVMovieTvDataPath=" + databasePath + "\nTVMovieUpdatePath=" + updater + "\n");
    }
    RunResult Grab(std::vector<std::string> args, bool withConfig = true) const {
        if (withConfig) args.insert(args.begin(), {"--config-file", config});
        args.insert(args.begin(), grabber);
        return RunProgram(args, 120, {"HOME=" + home.path().string()});
    }

    Installation app;
    TempFolder data, home;
    const std::string grabber = app.folder() / "tv_grab_de_brevan";
    const std::string database = data / "tvdaten.mdb";
    const std::string config = data / "grabber.conf";
};

TEST_F(Grabber, PassesXmltvValidatorAndIsFound) {
    // XMLTV's form of channel ids, descriptions, and every channel on every day asked for.
    std::vector<ListingRow> rows;
    for (const char* channel : {"ard.de", "zdf.de"})
        for (int day = -1; day <= 4; ++day)
            for (int hour : {6, 12, 20})
                rows.push_back(Listing(channel, Day(DayFromToday(day)), TimeOfDay(hour, 15, 0), "Sendung", "Genre",
                                       "Eine Beschreibung."));
    WriteListingDb(database, rows);
    // The DTD from the installed copy: the tools fetch it from the web otherwise.
    const std::vector<std::string> environment = {"XMLTV_SUPPLEMENT=/usr/share/xmltv", "HOME=" + home.path().string()};
    const RunResult validated = RunProgram({"tv_validate_grabber", "--config-file", config, grabber}, 240, environment);
    EXPECT_EQ(validated.status, 0) << validated.output << validated.errors;
    EXPECT_NE(validated.output.find("Validated ok."), std::string::npos) << validated.output << validated.errors;

    const RunResult found = RunProgram(
        {"tv_find_grabbers", "-I", app.folder().path().string(), "baseline", "manualconfig"}, 120, environment);
    EXPECT_NE(found.output.find(grabber + "|Germany: listings from a local Access guide database (tvdaten.mdb)"),
              std::string::npos)
        << found.output << found.errors;
}

TEST_F(Grabber, WholeGuideIsWhatWWritesAndBrevansIniServesWithoutConfig) {
    WriteListingDb(database, {Listing("ARD", jet4::Date(2001, 1, 1), TimeOfDay(9, 0, 0), "past", "", ""),
                              Listing("ARD", FutureDay(), TimeOfDay(9, 0, 0), "a", "Genre", "Text"),
                              Listing("ARD", FutureDay(), TimeOfDay(10, 0, 0), "b", "", ""),
                              Listing("ZDF", FutureDay(), TimeOfDay(9, 30, 0), "c", "", "")});
    app.WriteIni(database, "", data.path().string());
    ASSERT_EQ(app.Run({"/W"}).status, 0);
    std::string expected = ReadFile(data.path() / "tvdata.xml");
    expected.replace(0, expected.find("?>") + 2, "<?xml version='1.0' encoding='UTF-8'?>");

    // No ~/.xmltv/tv_grab_de_brevan.conf: brevan's own INI file counts.
    RunResult run = Grab({}, false);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, expected);
    EXPECT_EQ(run.errors, "");

    // Once the grabber's own file exists, it wins.
    fs::create_directory(home.path() / ".xmltv");
    WriteFile(home.path() / ".xmltv/tv_grab_de_brevan.conf", "[Default]\nTVMovieTvDataPath=" + (data / "no.mdb"));
    run = Grab({}, false);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("no.mdb"), std::string::npos) << run.errors;
}

TEST_F(Grabber, DayWindowsHoldAcrossSummerTimeAndJoin) {
    for (const auto& [switchDay, before, after] :
         {std::tuple{chrono::year_month_day{chrono::year{2099} / chrono::March / chrono::Sunday[chrono::last]}, "+0100",
                     "+0200"},
          std::tuple{chrono::year_month_day{chrono::year{2099} / chrono::October / chrono::Sunday[chrono::last]},
                     "+0200", "+0100"}}) {
        std::vector<ListingRow> rows;
        for (const char* channel : {"ard.de", "zdf.de"})
            for (int day = -1; day <= 1; ++day)
                for (int hour : {1, 12, 23})
                    rows.push_back(Listing(channel, Day(chrono::sys_days{switchDay} + chrono::days{day}),
                                           TimeOfDay(hour, 30, 0), "t", "", ""));
        WriteListingDb(database, rows);
        const int first = DaysFromToday(switchDay) - 1;
        const auto window = [&](int offset, int days) {
            const RunResult run = Grab({"--offset", std::to_string(offset), "--days", std::to_string(days)});
            EXPECT_EQ(run.status, 0) << run.errors;
            return Programmes(run.output);
        };
        std::vector<std::string> joined;
        for (int day = 0; day < 3; ++day) {
            const std::vector<std::string> one = window(first + day, 1);
            joined.insert(joined.end(), one.begin(), one.end());
        }
        const std::vector<std::string> all = window(first, 3);
        EXPECT_EQ(all.size(), 2u * 8u);  // the last row of each channel has no stop
        std::sort(joined.begin(), joined.end());
        std::vector<std::string> sorted = all;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(joined, sorted);

        // The switch day alone: its own three programmes a channel, stamped on either side of the switch.
        const std::string date = std::to_string(int(switchDay.year()) * 10000 + unsigned(switchDay.month()) * 100 +
                                                unsigned(switchDay.day()));
        const std::vector<std::string> day = window(first + 1, 1);
        ASSERT_EQ(day.size(), 6u);
        EXPECT_NE(day[0].find("start=\"" + date + "013000 " + before), std::string::npos) << day[0];
        EXPECT_NE(day[1].find("start=\"" + date + "123000 " + after), std::string::npos) << day[1];
        for (const std::string& programme : day)
            EXPECT_NE(programme.find("start=\"" + date), std::string::npos) << programme;
    }
}

TEST_F(Grabber, AlwaysAnswersWithADocument) {
    const std::string empty =
        "<?xml version='1.0' encoding='UTF-8'?>\r\n<tv generator-info-name=\"Kolvenar\">\r\n\t\r\n</tv>";
    WriteListingDb(database, {});
    RunResult run = Grab({"--quiet"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, empty);

    WriteListingDb(database, {Listing("ard.de", FutureDay(), TimeOfDay(9, 0, 0), "a", "", ""),
                              Listing("ard.de", FutureDay(), TimeOfDay(10, 0, 0), "b", "", "")});
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--days", "3"}, {"--list-channels"}}) {
        run = Grab(args);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_NE(run.output.find("<channel id=\"ard.de\">"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("<programme"), std::string::npos) << run.output;
    }
}

TEST_F(Grabber, FailureLeavesStandardOutputEmpty) {
    WriteListingDb(database, {Listing("ard.de", FutureDay(), TimeOfDay(9, 0, 0), "a", "", ""),
                              Listing("ard.de", FutureDay(), TimeOfDay(10, 0, 0), "b", "", "")});
    const std::string cut = data / "cut.mdb";
    WriteFile(cut, ReadFile(database).substr(0, 5000));
    WriteFile(data / "file", "");
    struct Case {
        const char* what;
        std::string databasePath;
        std::vector<std::string> args;
        int status;
    };
    for (const Case& c : std::vector<Case>{
             {"missing database", data / "no.mdb", {}, 1},
             {"damaged database", cut, {}, 1},
             {"missing output folder", database, {"--output", data / "nowhere/guide.xml"}, 1},
             {"output folder is a file", database, {"--output", data / "file/guide.xml"}, 1},
             {"missing config file", database, {"--config-file", data / "none.conf"}, 1},
             {"unknown option", database, {"--day", "1"}, 2},
         }) {
        SCOPED_TRACE(c.what);
        WriteConfig(c.databasePath, "");
        const RunResult run = Grab(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    }
    EXPECT_FALSE(fs::exists(data / "nowhere"));

    // The updater's output is no guide: it goes to standard error, or nowhere
    // under --quiet; its failure is told, and the guide still comes.
    const std::string guide = Grab({}).output;
    const std::string updater = data / "update.sh";
    WriteFile(updater, "#!/bin/sh\necho on-stdout\necho on-stderr >&2\nexit 3\n");
    fs::permissions(updater, fs::perms::owner_all);
    WriteConfig(database, updater);
    RunResult run = Grab({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, guide);
    EXPECT_NE(run.errors.find("on-stdout\non-stderr\n"), std::string::npos) << run.errors;
    run = Grab({"--quiet", "--output", data / "guide.xml"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadFile(data / "guide.xml"), guide);
    EXPECT_EQ(run.errors.find("on-std"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("status 3"), std::string::npos) << run.errors;
}

TEST_F(Grabber, ConfigureTakesItsAnswersFromStandardInput) {
    WriteFile(config,
              "; mine\n[Default]\nTVMovieTvDataPath=/old.mdb\nTVMovieUpdatePath=/old-update\n"
              "myHTPCPath=/guide\n[Other]\nkey=value\n");
    const auto configure = [&](const std::string& answers) {
        return RunProgram(
            {"/bin/sh", "-c", "printf '" + answers + "' | \"$0\" --configure --config-file \"$1\"", grabber, config});
    };
    RunResult run = configure("/new.mdb\\n-\\n");
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("[/old.mdb]"), std::string::npos) << run.errors;
    EXPECT_EQ(ReadFile(config),
              "; mine\n[Default]\nTVMovieTvDataPath=/new.mdb\nTVMovieUpdatePath=\n"
              "myHTPCPath=/guide\n[Other]\nkey=value\n");
    // Empty answers keep what is there.
    run = configure("\\n\\n");
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(ReadFile(config).find("TVMovieTvDataPath=/new.mdb\n"), std::string::npos);
}

}  // namespace
