// Ctrl+C as the POSIX signal it is there: SIGINT raised for real.
#include "platform/interrupt.hpp"
#include "platform/files/unfinished_files.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/backend.hpp"

namespace velscan {
namespace {

namespace fs = std::filesystem;

TEST(InterruptTest, TheFirstCtrlCIsOnlyRecordedWhileAGuardIsInstalled) {
    {
        platform::InterruptGuard guard(3);
        EXPECT_FALSE(platform::InterruptRequested());
        std::raise(SIGINT);  // the real signal, through the installed handler
        EXPECT_TRUE(platform::InterruptRequested());
    }
    EXPECT_FALSE(platform::InterruptRequested());
    platform::InterruptGuard again(3);
    EXPECT_FALSE(platform::InterruptRequested());
}

TEST(InterruptDeathTest, ASecondCtrlCEndsAtOnceAfterRestoringTheTerminalAndRemovingTheFile) {
    const fs::path unfinished = fs::temp_directory_path() /
                                ("velscan-unfinished-" + std::to_string(std::random_device{}()));
    { std::ofstream(unfinished) << "partial"; }
    EXPECT_EXIT(
        {
            platform::InterruptGuard guard(3);
            platform::SetInterruptTerminalRestore([] { std::fputs("restored", stderr); });
            (void)files::RegisterUnfinished(unfinished.string());
            std::raise(SIGINT);
            std::raise(SIGTERM);  // any of the requests, twice
            platform::Pause(10);  // the main thread's next wait ends the program
            std::fputs("still running", stderr);
        },
        ::testing::ExitedWithCode(3), "^restored$");
    EXPECT_FALSE(fs::exists(unfinished));
    platform::SetInterruptTerminalRestore(nullptr);
}

// The backstop: the main thread is held where no wait looks at the request
// (a long write while saving, say); link and card are still released.
TEST(InterruptDeathTest, AForcedEndComesWithItsActionEvenWhenTheMainThreadNeverWaits) {
    EXPECT_EXIT(
        {
            platform::InterruptGuard guard(3);
            platform::SetForcedEndAction([] { std::fputs("action", stderr); });
            std::raise(SIGHUP);
            std::raise(SIGQUIT);
            for (;;) ::pause();
        },
        ::testing::ExitedWithCode(3), "^action$");
}

TEST(InterruptDeathTest, AnActionThatHangsOnTheBackstopDoesNotHoldTheEnd) {
    EXPECT_EXIT(
        {
            platform::InterruptGuard guard(3);
            platform::SetForcedEndAction([] {
                std::fputs("action", stderr);
                for (;;) ::pause();  // a close that never returns
            });
            std::raise(SIGHUP);
            std::raise(SIGQUIT);
            for (;;) ::pause();
        },
        ::testing::ExitedWithCode(3), "^action$");
}

TEST(InterruptDeathTest, AFileSizeLimitFailsTheWriteInsteadOfEndingTheProgram) {
    EXPECT_EXIT(
        {
            platform::InterruptGuard guard(3);
            rlimit limit{};
            limit.rlim_cur = 0;
            limit.rlim_max = RLIM_INFINITY;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            char name[] = "/tmp/velscan-fsize-XXXXXX";
            const int fd = ::mkstemp(name);
            ::unlink(name);
            const bool failed = fd >= 0 && ::write(fd, "x", 1) == -1 && errno == EFBIG;
            std::_Exit(failed ? 7 : 1);
        },
        ::testing::ExitedWithCode(7), "");
}

}  // namespace
}  // namespace velscan
