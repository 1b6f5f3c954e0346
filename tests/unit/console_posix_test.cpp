#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/console.hpp"
#include "platform/unique_fd.hpp"
#include "pseudo_terminal.hpp"

namespace velscan {
namespace {

using platform::CreateSystemConsole;
using platform::UniqueFd;
using testing_support::PseudoTerminal;

// Puts `fd` in place of standard input for the test and restores the real one.
class StdinReplacement {
public:
    explicit StdinReplacement(int fd) : saved_(::dup(STDIN_FILENO)) {
        ok_ = saved_ && ::dup2(fd, STDIN_FILENO) == STDIN_FILENO;
    }
    ~StdinReplacement() {
        if (saved_) ::dup2(saved_.get(), STDIN_FILENO);
    }
    bool ok() const { return ok_; }

private:
    UniqueFd saved_;
    bool ok_ = false;
};

bool Write(int fd, const std::string& text) {
    return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

TEST(PosixConsole, PipeDeliversKeysAndItsEndIsNoKey) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    StdinReplacement stdinIsPipe(readEnd.get());
    ASSERT_TRUE(stdinIsPipe.ok());

    auto console = CreateSystemConsole();
    EXPECT_FALSE(console->KeyWaiting());

    ASSERT_TRUE(Write(writeEnd.get(), "q"));
    EXPECT_TRUE(console->KeyWaiting());
    EXPECT_TRUE(console->KeyWaiting()) << "looking must not use the key up";
    EXPECT_EQ(console->ReadKey(), 'q');
    EXPECT_FALSE(console->KeyWaiting());

    ASSERT_TRUE(Write(writeEnd.get(), "ab"));
    EXPECT_EQ(console->ReadKey(), 'a');
    EXPECT_TRUE(console->KeyWaiting());
    EXPECT_EQ(console->ReadKey(), 'b');

    writeEnd.reset();
    for (int poll = 0; poll < 3; ++poll) EXPECT_FALSE(console->KeyWaiting());
    EXPECT_EQ(console->ReadKey(), EOF);
}

TEST(PosixConsole, FileInputEndsAfterItsLastByte) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_GE(std::fputs("xq", file), 0);
    ASSERT_EQ(std::fflush(file), 0);
    ASSERT_EQ(::lseek(::fileno(file), 0, SEEK_SET), 0);
    StdinReplacement stdinIsFile(::fileno(file));
    ASSERT_TRUE(stdinIsFile.ok());

    auto console = CreateSystemConsole();
    std::string keys;
    for (int poll = 0; poll < 5; ++poll)
        if (console->KeyWaiting()) keys += static_cast<char>(console->ReadKey());
    EXPECT_EQ(keys, "xq");
    std::fclose(file);
}

struct TerminalConsole : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(pty.slave) << "no pseudo-terminal";
        ASSERT_EQ(tcgetattr(pty.slave.get(), &before), 0);
        ASSERT_NE(before.c_lflag & ICANON, 0u);
        ASSERT_NE(before.c_lflag & ECHO, 0u);
    }
    tcflag_t LocalModes() const {
        termios now{};
        EXPECT_EQ(tcgetattr(pty.slave.get(), &now), 0);
        return now.c_lflag;
    }

    PseudoTerminal pty;
    termios before{};
};

TEST_F(TerminalConsole, RawModeSeesOneKeyWithoutEnterAndIsRestoredAfterwards) {
    StdinReplacement stdinIsTerminal(pty.slave.get());
    ASSERT_TRUE(stdinIsTerminal.ok());
    {
        auto console = CreateSystemConsole();
        const tcflag_t raw = LocalModes();
        EXPECT_EQ(raw & (ICANON | ECHO), 0u);
        EXPECT_NE(raw & ISIG, 0u) << "Ctrl+C must still interrupt";

        EXPECT_FALSE(console->KeyWaiting());
        ASSERT_TRUE(pty.WriteMaster("q"));
        ASSERT_TRUE(PseudoTerminal::Readable(pty.slave.get(), 2000));
        EXPECT_TRUE(console->KeyWaiting());
        EXPECT_EQ(console->ReadKey(), 'q');
        EXPECT_EQ(pty.ReadMaster(1, 100), "") << "the key was echoed";
    }
    EXPECT_EQ(LocalModes(), before.c_lflag);
}

TEST_F(TerminalConsole, RestoreFunctionPutsTheModeBackOnceAndForAll) {
    StdinReplacement stdinIsTerminal(pty.slave.get());
    ASSERT_TRUE(stdinIsTerminal.ok());
    auto console = CreateSystemConsole();
    ASSERT_EQ(LocalModes() & ICANON, 0u);

    platform::RestoreConsoleMode();
    EXPECT_EQ(LocalModes(), before.c_lflag);
    platform::RestoreConsoleMode();
    console.reset();
    EXPECT_EQ(LocalModes(), before.c_lflag);

    // With the mode restored, a new console may take raw mode again.
    auto again = CreateSystemConsole();
    EXPECT_EQ(LocalModes() & ICANON, 0u);
}

TEST_F(TerminalConsole, ExitWithoutDestroyingTheConsoleRestoresTheTerminal) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::dup2(pty.slave.get(), STDIN_FILENO);
        // Kept in a static so that only the exit handler can restore the mode.
        static platform::Console* kept = CreateSystemConsole().release();
        termios raw{};
        const bool isRaw = tcgetattr(STDIN_FILENO, &raw) == 0 && (raw.c_lflag & ICANON) == 0;
        std::exit(kept && isRaw ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's terminal never went raw";
    EXPECT_EQ(LocalModes(), before.c_lflag);
}

}  // namespace
}  // namespace velscan
