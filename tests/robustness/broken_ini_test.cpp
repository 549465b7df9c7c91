// Broken INI files beside the real executable: the run reads what can be
// read, never hangs or crashes, and ends with at most one message.
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>

namespace fs = std::filesystem;
using namespace testsupport;
using namespace std::string_literals;

namespace {

class BrokenIni : public ::testing::Test {
protected:
    void SetUp() override {
        database = work / "tvdaten.mdb";
        WriteListingDb(database, {Listing("ARD", FutureDay(), jet4::TimeOfDay(9, 0, 0), "a", "", ""),
                                  Listing("ARD", FutureDay(), jet4::TimeOfDay(10, 0, 0), "b", "", "")});
        guide = work / "tvdata.xml";
    }

    // A run that must end soon: a blocked read of the INI file is a hang.
    RunResult Convert() const {
        const auto start = std::chrono::steady_clock::now();
        RunResult run = app.Run({"/W"}, 20);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        return run;
    }

    Installation app;
    TempFolder work;
    std::string database, guide;
};

}  // namespace

TEST_F(BrokenIni, SomethingElseInTheFilesPlaceReadsAsNoSettings) {
    struct Case {
        const char* what;
        void (*make)(const std::string& path);
    };
    const Case cases[] = {
        {"a named pipe", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
        {"a folder", [](const std::string& p) { fs::create_directory(p); }},
        {"a link to itself", [](const std::string& p) { fs::create_symlink(p, p); }},
        {"a link to /dev/zero", [](const std::string& p) { fs::create_symlink("/dev/zero", p); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(app.iniPath());
        c.make(app.iniPath());
        const RunResult run = Convert();
        EXPECT_EQ(run.status, 1);
        // The output folder is looked for first: the run stops before it takes the folder's turn.
        ASSERT_EQ(run.messages().size(), 1u) << run.errors;
        EXPECT_EQ(run.messages()[0].rfind("No output folder is set", 0), 0u) << run.errors;
    }
}

TEST_F(BrokenIni, AMarkNulsAHugeLineAndDuplicatesStillGiveTheFirstValues) {
    const std::string missing = work / "missing";
    auto text = [&](const std::string& folder) {
        return "\xEF\xBB\xBF; written by hand\r\n"
               "[Default]\r\n"
               "TVMovieTvDataPath=" +
               database +
               "\r\n"
               "myHTPCPath=" +
               folder +
               "\r\n"
               "Junk=" +
               std::string(1 << 20, 'j') +
               "\r\n"
               "\0\0\xFF\xFE garbage\r\n"s
               "TVMovieTvDataPath=" +
               (work / "second.mdb") +
               "\r\n"
               "myHTPCPath=" +
               work.path().string() +
               "\r\n"
               "[default]\r\n"
               "myHTPCPath=" +
               work.path().string();  // no final newline
    };
    // Only the first value in the first [Default] counts.
    WriteFile(app.iniPath(), text(missing));
    RunResult run = Convert();
    EXPECT_EQ(run.status, 1) << run.errors;
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find(missing + "/tvdata.xml"), std::string::npos) << run.errors;

    WriteFile(app.iniPath(), text(work.path().string()));
    run = Convert();
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(fs::exists(guide));
}

TEST_F(BrokenIni, RandomBytesNeverCrashOrHang) {
    std::mt19937 random(20240607);
    const std::string pieces[] = {"[Default]",
                                  "\n",
                                  "\r\n",
                                  "=",
                                  "TVMovieTvDataPath",
                                  "myHTPCPath",
                                  "TVMovieUpdatePath",
                                  database,
                                  work.path().string(),
                                  "\0"s,
                                  "\xFF\xFE",
                                  "\xEF\xBB\xBF",
                                  "\xE4",
                                  ";",
                                  " ",
                                  "\"",
                                  std::string(300, 'x')};
    for (int i = 0; i < 30; ++i) {
        // The output folder comes first and intact: an empty one would mean
        // the file system's root.
        std::string text = "[Default]\nmyHTPCPath=" + work.path().string() + "\n";
        const int count = static_cast<int>(random() % 40);
        for (int k = 0; k < count; ++k) text += pieces[random() % std::size(pieces)];
        WriteFile(app.iniPath(), text);
        fs::remove(guide);
        const RunResult run = Convert();
        SCOPED_TRACE("case " + std::to_string(i));
        EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status;
        EXPECT_LE(run.messages().size(), 1u) << run.errors;
        EXPECT_EQ(run.status == 1, run.messages().size() == 1) << run.errors;
    }
}
