// Aged listings converted by the real `brevan /W`: what the updater deleted,
// moved or reclaimed changes nothing in the guide, and a damaged overflow
// pointer ends the run with one message and no guide.
#include "support/listing_db.h"
#include "support/run_brevan.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace testsupport;
using jet4::RowState;
using jet4::TimeOfDay;

namespace {

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class AgedGuide : public ::testing::Test {
protected:
    void SetUp() override { app_.WriteIni(database_, "", out_.path().string()); }

    // Converts `database_`; returns the guide, empty when the run failed.
    std::string Convert() {
        fs::remove(guide_);
        const RunResult run = app_.Run({"/W"});
        EXPECT_EQ(run.status, 0) << run.errors;
        return fs::exists(guide_) ? ReadFile(guide_) : std::string();
    }

    Installation app_;
    TempFolder out_;
    std::string database_ = out_ / "tvdaten.mdb";
    std::string guide_ = out_ / "tvdata.xml";
};

ListingRow Programme(const char* channel, int hour, int minute, const std::string& title) {
    return Listing(channel, FutureDay(), TimeOfDay(hour, minute, 0), title, "Genre", "Über " + title);
}

TEST_F(AgedGuide, AnAgedSampleGivesThePristineSamplesGuideByteForByte) {
    const std::string sample =
        std::string(BREVAN_MDBWRITE_EXE) + " " + database_ +
        " --sample --seed 31 --channels 12 --days 3 --past-days 1 --per-day 30-45 --first-day 2099-06-01";
    ASSERT_EQ(Shell(sample + " >/dev/null"), 0);
    const std::string pristine = Convert();
    ASSERT_GT(pristine.size(), 100000u);
    ASSERT_EQ(Shell(sample + " --deleted-share 25 --moved-share 25 >/dev/null"), 0);
    EXPECT_TRUE(Convert() == pristine) << "the aged listing's guide differs";
}

TEST_F(AgedGuide, AnOlderVersionOfAProgrammeStaysOutOfTheGuide) {
    // Ten programmes; the updater moved "Tatort" from 20:00 to 20:15 and
    // kept the old row's bytes, flagged deleted; it moved two rows behind
    // overflow pointers and reclaimed a withdrawn programme's slot.
    const std::vector<ListingRow> live = {
        Programme("ARD", 18, 0, "Sportschau"),   Programme("ARD", 19, 0, "Wetter"),
        Programme("ARD", 20, 15, "Tatort"),      Programme("ARD", 21, 45, "Talk"),
        Programme("ARD", 23, 0, "Nachtmagazin"), Programme("ZDF", 19, 0, "heute"),
        Programme("ZDF", 19, 30, "Krimi"),       Programme("ZDF", 21, 0, "Doku"),
        Programme("ZDF", 22, 0, "Journal"),      Programme("ZDF", 23, 30, "Film"),
    };
    WriteListingDb(database_, live);
    const std::string pristine = Convert();
    ASSERT_NE(pristine.find("Tatort"), std::string::npos);

    std::vector<AgedSlot> slots;
    for (std::size_t i = 0; i < live.size(); ++i) {
        if (i == 2) slots.push_back({Programme("ARD", 20, 0, "Tatort (alt)"), {RowState::Deleted}, {}});
        if (i == 6) slots.push_back({Programme("ZDF", 20, 0, "abgesetzt"), {RowState::Compacted}, {}});
        slots.push_back({live[i], {i == 3 || i == 8 ? RowState::Moved : RowState::Live}, {}});
    }
    WriteAgedListingDb(database_, slots);
    const std::string aged = Convert();
    EXPECT_EQ(aged.find("Tatort (alt)"), std::string::npos);
    EXPECT_TRUE(aged == pristine) << aged;
}

TEST_F(AgedGuide, EachBrokenPointerGivesOneMessageAndNoGuide) {
    WriteFile(guide_, "older guide");
    for (jet4::BrokenPointer kind :
         {jet4::BrokenPointer::BeyondFile, jet4::BrokenPointer::DefinitionPage, jet4::BrokenPointer::UsageMapPage,
          jet4::BrokenPointer::OtherTable, jet4::BrokenPointer::MissingRow, jet4::BrokenPointer::Loop,
          jet4::BrokenPointer::Cycle}) {
        SCOPED_TRACE(static_cast<int>(kind));
        WriteAgedListingDb(database_,
                           {{Programme("ARD", 19, 0, "Wetter"), {}, {}},
                            {Programme("ARD", 20, 15, "Tatort"), {RowState::Moved}, {}},
                            {{}, {}, kind},
                            {Programme("ARD", 21, 45, "Talk"), {}, {}}},
                           true);
        const RunResult run = app_.Run({"/W"});
        EXPECT_EQ(run.status, 1);
        ASSERT_EQ(run.messages().size(), 1u) << run.errors;
        EXPECT_NE(run.messages()[0].find("is damaged or unreadable: the overflow pointer in row 2 on page"),
                  std::string::npos)
            << run.messages()[0];
        EXPECT_EQ(ReadFile(guide_), "older guide");
        // The database, the older guide, and the lock file that keeps runs
        // into the folder one at a time.
        EXPECT_EQ(std::distance(fs::directory_iterator(out_.path()), fs::directory_iterator()), 3) << "a file was left";
    }
}

}  // namespace
