#include "platform/interrupt.hpp"
#include "platform/files/unfinished_files.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace velscan {
namespace {

namespace fs = std::filesystem;

std::atomic<int> g_restored{0};
void CountRestore() { g_restored.fetch_add(1); }

// The requests below enter the same path as Ctrl+C (a signal handler on POSIX,
// a console control handler on Windows); interrupt_posix_test.cpp raises the
// real signal.
TEST(InterruptTest, TheFirstRequestIsOnlyRecordedWhileAGuardIsInstalled) {
    {
        platform::InterruptGuard guard(3);
        EXPECT_FALSE(platform::InterruptRequested());
        platform::RequestInterrupt();
        EXPECT_TRUE(platform::InterruptRequested());
    }
    EXPECT_FALSE(platform::InterruptRequested());
    platform::InterruptGuard again(3);
    EXPECT_FALSE(platform::InterruptRequested());
}

TEST(InterruptDeathTest, ASecondRequestEndsAtTheNextWaitAfterTheActionTheTerminalAndTheFile) {
    // A fixed name: on Windows the dying part runs in a new process that
    // starts the test afresh, so a random name would differ there.
    const fs::path unfinished = fs::temp_directory_path() / "velscan-unfinished-request-test";
    { std::ofstream(unfinished) << "partial"; }
    EXPECT_EXIT(
        {
            platform::InterruptGuard guard(4);
            platform::SetInterruptTerminalRestore([] { std::fputs("restored", stderr); });
            (void)files::RegisterUnfinished(unfinished.string());
            platform::SetForcedEndAction([] { std::fputs("motor stopped, ", stderr); });
            platform::RequestInterrupt();
            platform::RequestInterrupt();
            EXPECT_TRUE(platform::ForcedEndRequested());
            platform::HonourForcedEnd();  // what every wait of the main thread does
            std::fputs("still running", stderr);
        },
        ::testing::ExitedWithCode(4), "^motor stopped, restored$");
    EXPECT_FALSE(fs::exists(unfinished));
    platform::SetInterruptTerminalRestore(nullptr);
}

TEST(InterruptTest, WithoutAGuardRequestsDoNotEndTheProgram) {
    platform::SetInterruptTerminalRestore(&CountRestore);
    platform::RequestInterrupt();
    platform::RequestInterrupt();
    EXPECT_EQ(g_restored.load(), 0);
    platform::SetInterruptTerminalRestore(nullptr);
    platform::InterruptGuard guard(3);  // a new guard starts with no request
    EXPECT_FALSE(platform::InterruptRequested());
}

}  // namespace
}  // namespace velscan
