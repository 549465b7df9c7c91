// Failing output end to end: whatever stops the guide from being written
// (no folder, a file in its place, no permission, a full disk, a file size
// limit), the run ends with one message and status 1, the older tvdata.xml
// stays byte for byte, and no temporary file is left behind.
#include "guide_check.h"
#include "restricted_run.h"
#include "sample_run.h"
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;
using namespace testsupport;
using robustness::OtherFiles;
using robustness::Restrictions;
using robustness::RunRestricted;

namespace {

const std::string kOlder = "<?xml version='1.0'?>\r\n<tv generator-info-name=\"older\">\r\n</tv>\r\n";

class FailingOutput : public robustness::SampleRun {
protected:
    // A guide of about a megabyte, shared by the tests.
    static void SetUpTestSuite() { MakeSample("--channels 6 --days 2 --past-days 0"); }
    static void TearDownTestSuite() { DropSample(); }

    void SetUp() override {
        SampleRun::SetUp();
        older = guide;
        WriteFile(older, kOlder);
    }

    // The outcome every failure must have.
    void ExpectCleanFailure(const RunResult& run, const std::string& reason) const {
        EXPECT_EQ(run.status, 1) << run.errors;
        ASSERT_EQ(run.messages().size(), 1u) << run.errors;
        EXPECT_NE(run.messages()[0].find("Cannot write the guide file " + older + ": " + reason), std::string::npos)
            << run.messages()[0];
        EXPECT_EQ(ReadFile(older), kOlder);
        EXPECT_EQ(OtherFiles(folder), std::vector<std::string>{});
    }

    std::string older;  // the guide, holding kOlder before each run
};

}  // namespace

TEST_F(FailingOutput, AFileWhereTheFolderShouldBe) {
    const std::string file = work / "not-a-folder";
    WriteFile(file, "plain file");
    app.WriteIni(database, "", file);
    const RunResult run = app.Run({"/W"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find("Not a directory"), std::string::npos) << run.errors;
    EXPECT_EQ(ReadFile(file), "plain file");
}

TEST_F(FailingOutput, AFolderWhereTheGuideShouldBe) {
    fs::remove(older);
    fs::create_directory(older);
    WriteFile(older + "/inside", "x");
    const RunResult run = app.Run({"/W"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_EQ(ReadFile(older + "/inside"), "x");
    EXPECT_EQ(OtherFiles(folder), std::vector<std::string>{});
}

TEST_F(FailingOutput, AFolderTheUserMayNotWriteTo) {
    Restrictions as;
    if (::geteuid() == 0) {
        // Root writes anywhere: run as nobody, who may read the installation
        // (a copy of nobody's own, so the INI beside it counts) and the
        // database but not write into the guide's folder.
        as.uid = robustness::NobodyUid();
        as.gid = robustness::NobodyGid();
        for (const fs::path& p : {app.folder().path(), work.path()}) fs::permissions(p, fs::perms(0755));
        ASSERT_EQ(::chown(app.folder().path().c_str(), as.uid, as.gid), 0);
        fs::permissions(app.exe(), fs::perms(0755));
        fs::permissions(database, fs::perms(0644));
    } else {
        fs::permissions(folder, fs::perms(0555));
    }
    const RunResult run = RunRestricted(app, {"/W"}, as);
    fs::permissions(folder, fs::perms(0755));
    ExpectCleanFailure(run, "Permission denied");
}

TEST_F(FailingOutput, AFileSizeLimitStopsTheWriteHalfway) {
    Restrictions limited;
    limited.maxFileSize = 64 * 1024;  // the guide is about a megabyte
    const RunResult run = RunRestricted(app, {"/W"}, limited);
    ExpectCleanFailure(run, "File too large");
}

TEST_F(FailingOutput, AFullDisk) {
    // A small tmpfs holds the guide folder; mounting needs rights a test
    // machine may not give.
    const std::string disk = work / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};

    folder = disk;
    older = disk + "/tvdata.xml";
    WriteFile(older, kOlder);
    app.WriteIni(database, "", folder);
    ExpectCleanFailure(app.Run({"/W"}), "No space left on device");

    // The same disk takes a guide that fits, in place of the older one.
    jet4::Writer writer(work / "small.mdb");
    writer.BeginTable("TVDaten", ListingColumns());
    writer.AddRow(
        {jet4::Text("ARD"), FutureDay(), jet4::TimeOfDay(9, 0, 0), jet4::Text("a"), jet4::Text(""), jet4::Text("")});
    writer.Finish();
    app.WriteIni(work / "small.mdb", "", folder);
    const RunResult run = app.Run({"/W"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(ReadFile(older).find("<channel id=\"ARD\">"), std::string::npos);
    EXPECT_EQ(OtherFiles(folder), std::vector<std::string>{});
}

TEST_F(FailingOutput, AFailureLateInTheProgrammesLeavesNoPartialFile) {
    // Megabytes of programmes are written before the last channel's Null
    // title fails the run.
    {
        jet4::Writer writer(database + ".new");
        writer.BeginTable("TVDaten", ListingColumns());
        for (int i = 0; i < 3000; ++i)
            writer.AddRow({jet4::Text("A"), FutureDay(), jet4::TimeOfDay(i / 3600, i / 60 % 60, i % 60),
                           jet4::Text("Titel " + std::to_string(i)), jet4::Text("Genre"),
                           jet4::Text(std::string(600, 'd') + " " + std::to_string(i))});
        for (int i = 0; i < 3; ++i)
            writer.AddRow({jet4::Text("Z"), FutureDay(), jet4::TimeOfDay(20 + i, 0, 0),
                           i == 1 ? jet4::Value(jet4::Null{}) : jet4::Text("z"), jet4::Text(""), jet4::Text("")});
        writer.Finish();
    }
    fs::rename(database + ".new", database);
    const RunResult run = app.Run({"/W"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find("Null"), std::string::npos) << run.errors;
    EXPECT_EQ(ReadFile(older), kOlder);
    EXPECT_EQ(OtherFiles(folder), std::vector<std::string>{});
}

TEST_F(FailingOutput, LeftoversOfAKilledSaveGoBeforeTheNextSaveStarts) {
    // What a save killed before its rename leaves, and look-alikes that are
    // not ours to remove: a user's own backups, and leftovers of the older
    // naming, which cannot be told from them.
    const std::time_t twoMinutesAgo = std::time(nullptr) - 120;
    auto age = [&](const std::string& name) {
        const std::string path = folder + "/" + name;
        timespec times[2] = {{twoMinutesAgo, 0}, {twoMinutesAgo, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
    };
    const std::string ours = ".tvdata.xml.brevan-";
    for (const std::string& name :
         {ours + "Ab3xY9", ours + "Qq7Zz0", std::string(".tvdata.xml.backup"), std::string(".tvdata.xml.orig01"),
          std::string(".tvdata.xml.KEEPME"), std::string(".tvdata.xml.Ab3xY9"), ours + "short", ours + "toolong1",
          std::string("tvdata.xml.brevan-Ab3xY9"), ours + "Ab-xY9", std::string(".other.xml.brevan-Ab3xY9")}) {
        WriteFile(folder + "/" + name, "partial");
        age(name);
    }
    WriteFile(folder + "/" + ours + "Fresh1", "a save writing right now");
    fs::create_directory(folder + "/" + ours + "Dir123");
    age(ours + "Dir123");
    fs::create_symlink(older, folder + "/" + ours + "Lnk123");
    age(ours + "Lnk123");
    const std::vector<std::string> notOurs = {
        ".other.xml.brevan-Ab3xY9",    ".tvdata.xml.Ab3xY9",        ".tvdata.xml.KEEPME",
        ".tvdata.xml.backup",          ".tvdata.xml.brevan-Ab-xY9", ".tvdata.xml.brevan-Dir123",
        ".tvdata.xml.brevan-Fresh1",   ".tvdata.xml.brevan-Lnk123", ".tvdata.xml.brevan-short",
        ".tvdata.xml.brevan-toolong1", ".tvdata.xml.orig01",        "tvdata.xml.brevan-Ab3xY9"};

    // They go before the new temporary file is made, so that on a nearly
    // full disk they cannot make the save fail: also when the run then fails.
    app.WriteIni(work / "missing.mdb", "", folder);
    EXPECT_EQ(app.Run({"/W"}).status, 1);
    EXPECT_EQ(OtherFiles(folder), notOurs);
    EXPECT_EQ(ReadFile(older), kOlder);

    app.WriteIni(database, "", folder);
    const RunResult run = app.Run({"/W"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(robustness::GuideProblems(older), "");
    EXPECT_EQ(OtherFiles(folder), notOurs);
}
