#include "platform/interrupt.hpp"
#include "platform/files/output_files.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

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

// The names in a folder, sorted.
std::vector<std::string> NamesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(InterruptDeathTest, ASecondRequestEndsAtTheNextWaitAfterTheActionTheTerminalAndTheFiles) {
    // A fixed name: on Windows the dying part runs in a new process that
    // starts the test afresh, so a random name would differ there.
    const fs::path folder = fs::temp_directory_path() / "velscan-unfinished-request-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    { std::ofstream(folder / "scan.txt") << "old scan"; }
    { std::ofstream(folder / "cloud.ply") << "old cloud"; }
    EXPECT_EXIT(
        {
            platform::InterruptGuard guard(4);
            platform::SetInterruptTerminalRestore([] { std::fputs("restored", stderr); });
            platform::SetForcedEndAction([] { std::fputs("motor stopped, ", stderr); });
            // Two unfinished files of one set, and one of another.
            files::OutputFiles outputs(".velscan");
            files::OutputFiles others(".velscan-export");
            std::error_code why;
            for (const char* name : {"scan.txt", "cloud.ply"}) {
                files::OutputFile* output =
                    outputs.Create((folder / name).string(), files::Content::Text, why);
                if (output != nullptr) std::fputs("partial", output->Stream());
            }
            (void)others.Create((folder / "new.png").string(), files::Content::Binary, why);
            platform::RequestInterrupt();
            platform::RequestInterrupt();
            EXPECT_TRUE(platform::ForcedEndRequested());
            platform::HonourForcedEnd();  // what every wait of the main thread does
            std::fputs("still running", stderr);
        },
        ::testing::ExitedWithCode(4), "^motor stopped, restored$");
    EXPECT_EQ(NamesIn(folder), (std::vector<std::string>{"cloud.ply", "scan.txt"}));
    std::ifstream scan(folder / "scan.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(scan), {}), "old scan");
    scan.close();
    fs::remove_all(folder);
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
