// The engine reads through a program of its own: while a table is read, the
// child process is brevan-reader itself, not a fork of the calling program
// (which would carry its threads' locks and its memory into the child); and a
// reader that cannot be started is one clear error that names it.
#include "base/error.h"
#include "dao/dao.h"
#include "support/listing_db.h"
#include "support/reader/open_recordset.h"
#include "support/slow_share.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dao = brevan::dao;
namespace fs = std::filesystem;

namespace {

// The children of every thread of this process.
std::vector<int> Children() {
    std::vector<int> children;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/self/task", ec)) {
        std::ifstream list(task.path() / "children");
        for (int pid; list >> pid;) children.push_back(pid);
    }
    return children;
}

// Whether process `pid` has `file` open.
bool HasOpen(int pid, const fs::path& file) {
    std::error_code ec;
    for (fs::directory_iterator fd("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && fd != end;
         fd.increment(ec)) {
        std::error_code linkError;
        if (fs::read_symlink(fd->path(), linkError) == file) return true;
    }
    return false;
}

std::unique_ptr<dao::Recordset> OpenListing(const std::string& path) {
    return testsupport::OpenRecordset(path, "SELECT * FROM TVDaten ORDER BY SenderKennung, Datum, Uhrzeit");
}

}  // namespace

TEST(ReaderProcess, TheChildThatReadsIsTheReaderProgramNotAFork) {
    if (!fs::exists("/proc/self/task/" + std::to_string(::getpid()) + "/children"))
        GTEST_SKIP() << "this kernel does not list a task's children";
    testsupport::TempFolder folder;
    const std::string path = folder / "tvdaten.mdb";
    std::vector<testsupport::ListingRow> rows;
    for (int i = 0; i < 40000; ++i)
        rows.push_back(testsupport::Listing(std::string("K").append(std::to_string(i % 30)),
                                            jet4::Date(2024, 5, 1 + i % 28), jet4::TimeOfDay(i % 24, i % 60, 0),
                                            "Sendung " + std::to_string(i), "Genre",
                                            std::string(300, 'b').append(std::to_string(i))));
    testsupport::WriteListingDb(path, rows);

    // The program of every child seen with the database open. A child
    // started with posix_spawn shows this program until its exec, but opens
    // the database only after it; a fork would read it as this program.
    const fs::path database = fs::canonical(path);
    std::vector<std::pair<int, fs::path>> readers;
    std::atomic<bool> reading{true}, watching{false};
    std::thread watcher([&] {
        while (reading) {
            watching = true;
            for (int pid : Children()) {
                if (!HasOpen(pid, database)) continue;
                std::error_code ec;
                const fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
                if (!ec) readers.emplace_back(pid, exe);
            }
            std::this_thread::yield();
        }
    });
    while (!watching) std::this_thread::yield();
    std::int32_t count = -1;
    try {
        count = OpenListing(path)->RecordCount();
    } catch (const brevan::Error& e) {
        ADD_FAILURE() << e.Description();
    }
    reading = false;
    watcher.join();

    EXPECT_EQ(count, 40000);
    ASSERT_FALSE(readers.empty()) << "no child process was seen reading the database";
    const fs::path reader = fs::canonical(BREVAN_READER_EXE);
    for (const auto& [pid, exe] : readers) EXPECT_EQ(exe, reader) << "child " << pid;
    RecordProperty("reader_sightings", static_cast<int>(readers.size()));
}

TEST(ReaderProcess, AReaderThatCannotBeStartedIsOneErrorThatNamesIt) {
    testsupport::TempFolder folder;
    const std::string path = folder / "tvdaten.mdb";
    testsupport::WriteListingDb(
        path, {testsupport::Listing("ARD", jet4::Date(2024, 5, 1), jet4::TimeOfDay(20, 0, 0), "a", "", "")});

    struct Restore {
        ~Restore() { dao::SetReaderProgram(BREVAN_READER_EXE); }
    } restore;
    dao::SetReaderProgram("/nonexistent/brevan-reader");
    std::string description;
    try {
        OpenListing(path);
        ADD_FAILURE() << "no error";
    } catch (const brevan::Error& e) {
        description = e.Description();
    }
    EXPECT_NE(description.find("/nonexistent/brevan-reader"), std::string::npos) << description;
    EXPECT_NE(description.find("cannot be started"), std::string::npos) << description;
    EXPECT_NE(description.find(path), std::string::npos) << description;
    int status;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "a child process is left";
}

namespace {

// A listing on a network share that answers slowly or not at all. The
// watchdog is shortened for the test; what matters is how the engine ends.
class ReaderOnAShare : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!testsupport::SlowShare::Available(&why)) GTEST_SKIP() << why;
        old_ = dao::SetReaderTimeout(kWatchdog);
    }
    void TearDown() override {
        if (old_.count() > 0) dao::SetReaderTimeout(old_);
    }
    // How long `read` takes, and the error it raised ("" for none).
    static std::pair<std::chrono::duration<double>, std::string> Timed(const std::function<void()>& read) {
        const auto start = std::chrono::steady_clock::now();
        std::string error;
        try {
            read();
        } catch (const brevan::Error& e) {
            error = e.Description();
        }
        return {std::chrono::steady_clock::now() - start, error};
    }

    static constexpr std::chrono::milliseconds kWatchdog{2000};
    std::chrono::milliseconds old_{0};
    testsupport::TempFolder backing;
};

}  // namespace

TEST_F(ReaderOnAShare, AShareThatHangsEndsTheReadWithOneMessageInBoundedTime) {
    using namespace std::chrono_literals;
    testsupport::WriteListingDb(
        backing / "tvdaten.mdb",
        {testsupport::Listing("ARD", testsupport::FutureDay(), jet4::TimeOfDay(20, 0, 0), "a", "", "")});
    // The file's attributes, its open, its pages after the first: the engine
    // looks at none of them itself, and the watched reader is stopped.
    struct Case {
        const char* what;
        testsupport::SlowShareOptions options;
    };
    std::vector<Case> cases;
    cases.push_back({"stat", {}});
    cases.back().options.hangStat = {"tvdaten.mdb"};
    cases.push_back({"open", {}});
    cases.back().options.hangOpen = {"tvdaten.mdb"};
    // A hard mount: the reader, once killed, stays in the kernel until the
    // share answers; the engine leaves it behind after a bounded wait.
    cases.push_back({"reads, ignoring signals", {}});
    cases.back().options.hangReadsAfter = {{"tvdaten.mdb", 4096}};
    cases.back().options.ignoreInterrupts = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::SlowShare share(backing.path(), c.options);
        const auto [took, error] = Timed([&] { OpenListing(share / "tvdaten.mdb"); });
        EXPECT_NE(error.find("made no progress for 2 seconds"), std::string::npos) << error;
        EXPECT_LT(took, 12s);  // the watchdog, a few seconds' grace for a stuck reader, slack for the machine
        RecordProperty(std::string("seconds_") + (c.options.ignoreInterrupts   ? "hard"
                                                  : c.options.hangOpen.empty() ? "stat"
                                                                               : "open"),
                       static_cast<int>(took.count()));
    }
}

TEST_F(ReaderOnAShare, AMostlyDeletedTableOnASlowShareKeepsTheWatchdogContent) {
    // Pages of deleted rows give no rows for seconds on end; the reader's
    // reports of the pages it has read keep the watchdog from stopping it.
    const std::string path = backing / "tvdaten.mdb";
    {
        jet4::Writer writer(path);
        writer.BeginTable("TVDaten", testsupport::ListingColumns());
        const std::u16string description(3500, u'x');  // one row fills a page
        for (int i = 0; i < 2500; ++i)
            writer.AddRow({jet4::Text("ARD"), testsupport::FutureDay(), jet4::TimeOfDay(i / 60 % 24, i % 60, 0),
                           jet4::Text("alt"), jet4::Text(""), description},
                          {jet4::RowState::Deleted});
        writer.AddRow({jet4::Text("ARD"), testsupport::FutureDay(), jet4::TimeOfDay(20, 0, 0), jet4::Text("neu"),
                       jet4::Text(""), jet4::Text("")});
        writer.EndTable();
        writer.Finish();
    }
    testsupport::SlowShareOptions slow;
    slow.bandwidth = 2u << 20;  // about 5 s for the table's 10 MB
    testsupport::SlowShare share(backing.path(), slow);
    std::int32_t rows = 0;
    const auto [took, error] = Timed([&] { rows = OpenListing(share / "tvdaten.mdb")->RecordCount(); });
    EXPECT_EQ(error, "");
    EXPECT_EQ(rows, 1);
    EXPECT_GT(took, 2 * kWatchdog) << "the share was not slow enough to test anything";
    RecordProperty("seconds", static_cast<int>(took.count()));
}
