#include "sample_run.h"

#include <cstdlib>
#include <filesystem>

namespace robustness {

testsupport::TempFolder* SampleRun::sample_ = nullptr;

void SampleRun::MakeSample(const std::string& options) {
    sample_ = new testsupport::TempFolder;
    const std::string command = std::string(BREVAN_MDBWRITE_EXE) + " " + (*sample_ / "tvdaten.mdb") + " --sample " +
                                options + " --first-day 2099-06-01 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void SampleRun::DropSample() {
    delete sample_;
    sample_ = nullptr;
}

void SampleRun::SetUp() {
    database = work / "tvdaten.mdb";
    std::filesystem::copy_file(*sample_ / "tvdaten.mdb", database);
    folder = work / "guide";
    std::filesystem::create_directory(folder);
    guide = folder + "/tvdata.xml";
    app.WriteIni(database, "", folder);
}

}  // namespace robustness
