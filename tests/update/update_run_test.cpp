// The update run's wait with real child processes: small shell scripts stand
// in for the updater.
#include "update/update_run.h"
#include "desktop/events.h"
#include "desktop/message_box.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using brevan::RunAndWait;
using brevan::vbNormalFocus;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class UpdateRun : public ::testing::Test {
protected:
    void SetUp() override {
        brevan::SetMessageSink([this](const std::string& text) { messages.push_back(text); });
    }
    void TearDown() override {
        brevan::SetMessageSink({});
        brevan::SetDoEventsHook({});
    }

    std::string Script(const std::string& name, const std::string& body, fs::perms perms = fs::perms(0755)) const {
        const std::string path = folder / name;
        WriteFile(path, "#!/bin/sh\n" + body + "\n");
        fs::permissions(path, perms);
        return path;
    }

    TempFolder folder;
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(UpdateRun, TheExitCodeIsReturnedByTheWait) {
    const std::string updater = Script("tvupdate", "exit 3");
    EXPECT_EQ(RunAndWait(updater, vbNormalFocus, false), 3);
    EXPECT_FALSE(fs::exists(folder / "tvdata.xml"));
}

TEST_F(UpdateRun, WaitingHandlesEventsAndLeavesTheProcessorAlone) {
    const std::string updater = Script("tvupdate", "sleep 1");
    int argc = 1;
    char name[] = "test_update";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    bool timerFired = false;
    QTimer::singleShot(100, [&] { timerFired = true; });
    int pumps = 0;
    brevan::SetDoEventsHook([&] { ++pumps; });

    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunAndWait(updater, vbNormalFocus, true), 0);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    const double cpu = CpuSeconds() - cpuBefore;

    EXPECT_GE(wall.count(), 0.9);
    EXPECT_TRUE(timerFired);  // a window event was handled during the wait
    EXPECT_GE(pumps, 20);     // events ran again and again, not just once
    // A wait that polls flat out would use close to the whole wall time.
    EXPECT_LT(cpu, 0.3 * wall.count()) << "cpu " << cpu << " s of " << wall.count() << " s";
    RecordProperty("wait_cpu_ms", static_cast<int>(cpu * 1000));
    RecordProperty("wait_pumps", pumps);
}

TEST_F(UpdateRun, WithoutPumpingNoEventRuns) {
    const std::string updater = Script("tvupdate", "sleep 0.2");
    int pumps = 0;
    brevan::SetDoEventsHook([&] { ++pumps; });
    EXPECT_EQ(RunAndWait(updater, vbNormalFocus, false), 0);
    EXPECT_EQ(pumps, 0);
}

TEST_F(UpdateRun, AProgramThatCannotStartShowsOneMessageAndGivesNothing) {
    const std::string notExecutable = Script("plain", "exit 0", fs::perms(0644));
    const std::string missing = folder / "no-such-tvupdate";
    const std::string directory = folder.path().string();
    struct Case {
        std::string path;
        std::string message;
    };
    for (const Case& c : {Case{missing, "Cannot start '" + missing + "': No such file or directory"},
                          Case{notExecutable, "Cannot start '" + notExecutable + "': Permission denied"},
                          Case{directory, "Cannot start '" + directory + "': Permission denied"},
                          Case{"", "Cannot start a program: its path is empty"}}) {
        messages.clear();
        EXPECT_EQ(RunAndWait(c.path, vbNormalFocus, true), std::nullopt) << c.path;
        EXPECT_EQ(messages, std::vector<std::string>{c.message});
    }
}

TEST_F(UpdateRun, TheWaitEndsWithTheUpdaterNotWithItsChildren) {
    // The updater leaves a child behind that lives on, and closes its streams.
    const std::string updater = Script("tvupdate",
                                       "exec 0<&- 1>&- 2>&-\n"
                                       "sleep 30 &\n"
                                       "echo $! > \"$(dirname \"$0\")/grandchild\"\n"
                                       "exit 0");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunAndWait(updater, vbNormalFocus, true), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    const std::string grandchild = ReadFile(folder / "grandchild");
    ASSERT_FALSE(grandchild.empty());
    ::kill(std::stoi(grandchild), SIGKILL);
}

TEST_F(UpdateRun, AnUpdateRunStartedDuringTheWaitFinishesFirst) {
    std::vector<std::string> order;
    const std::string outer = Script("outer", "sleep 0.4");
    const std::string inner = Script("inner", "exit 5");
    bool nested = false;
    brevan::SetDoEventsHook([&] {
        if (nested) return;
        nested = true;
        order.push_back("inner " + std::to_string(RunAndWait(inner, vbNormalFocus, true).value_or(-1)));
    });
    order.push_back("outer " + std::to_string(RunAndWait(outer, vbNormalFocus, true).value_or(-1)));
    EXPECT_EQ(order, (std::vector<std::string>{"inner 5", "outer 0"}));
}
