#pragma once
// Tests whose runs convert a copy of one sample listing, made once for the
// suite: a copy of brevan installed in a folder of its own, a work folder
// with the listing and an empty guide folder, and the INI naming both.
#include "support/run_brevan.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace robustness {

class SampleRun : public ::testing::Test {
protected:
    // Makes the suite's sample with `mdbwrite --sample <options>`; its days
    // lie far ahead (from 2099-06-01), so that all of them are converted
    // whenever the tests run. Call from SetUpTestSuite.
    static void MakeSample(const std::string& options);
    // Call from TearDownTestSuite.
    static void DropSample();

    void SetUp() override;

    testsupport::Installation app;
    testsupport::TempFolder work;
    std::string database;  // the work folder's copy of the sample
    std::string folder;    // the guide's folder
    std::string guide;     // folder + "/tvdata.xml"

private:
    static testsupport::TempFolder* sample_;
};

}  // namespace robustness
