// Test programs lie in tests/ of the build, the reader program one level up
// beside brevan: tell the engine where it is before the first test.
#include "dao/dao.h"

#include <gtest/gtest.h>

namespace {

class ReaderProgram : public ::testing::Environment {
public:
    void SetUp() override { brevan::dao::SetReaderProgram(BREVAN_READER_EXE); }
};

[[maybe_unused]] ::testing::Environment* const kReaderProgram = ::testing::AddGlobalTestEnvironment(new ReaderProgram);

}  // namespace
