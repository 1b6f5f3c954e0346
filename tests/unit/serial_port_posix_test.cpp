#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "laserlink/range_finder_commands.hpp"
#include "laserlink/serial_link.hpp"
#include "platform/backend.hpp"
#include "platform/serial_port.hpp"
#include "pseudo_terminal.hpp"
#include "recording_clock.hpp"

namespace velscan {
namespace {

using platform::OpenSerialPortDevice;
using platform::WriteOutcome;
using testing_support::PseudoTerminal;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

struct PosixSerialPort : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(pty.master) << "no pseudo-terminal"; }
    PseudoTerminal pty;
};

TEST_F(PosixSerialPort, LineSettingsMakeTheDeviceRaw8N1AtTheBaudRate) {
    auto port = OpenSerialPortDevice(pty.slaveName).port;
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->ApplyLineSettings(9600));

    termios mode{};
    ASSERT_EQ(tcgetattr(pty.slave.get(), &mode), 0);
    EXPECT_EQ(cfgetospeed(&mode), B9600);
    EXPECT_EQ(cfgetispeed(&mode), B9600);
    EXPECT_EQ(mode.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(mode.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(mode.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(mode.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(mode.c_oflag & OPOST, 0u);

    // A handshake left on the device by an earlier program is switched off.
    mode.c_cflag |= CRTSCTS;
    mode.c_iflag |= IXON | IXOFF;
    ASSERT_EQ(tcsetattr(pty.slave.get(), TCSANOW, &mode), 0);
    ASSERT_TRUE(port->ApplyLineSettings(19200));
    ASSERT_EQ(tcgetattr(pty.slave.get(), &mode), 0);
    EXPECT_EQ(cfgetospeed(&mode), B19200);
    EXPECT_EQ(mode.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(mode.c_iflag & (IXON | IXOFF), 0u);
    ASSERT_TRUE(port->ApplyLineSettings(9600));

    // A rate without a line speed is refused and leaves the port as it was.
    EXPECT_FALSE(port->ApplyLineSettings(12345));
    ASSERT_EQ(tcgetattr(pty.slave.get(), &mode), 0);
    EXPECT_EQ(cfgetospeed(&mode), B9600);
}

TEST_F(PosixSerialPort, WrittenBytesArriveExactlyAndInOrder) {
    auto port = OpenSerialPortDevice(pty.slaveName).port;
    ASSERT_NE(port, nullptr);
    port->SetTimeouts({0xFFFFFFFFu, 0, 0, 0, 1000});
    ASSERT_TRUE(port->ApplyLineSettings(9600));

    const auto first = Bytes("S20\n");
    const auto second = Bytes("F650\r\n");
    EXPECT_EQ(port->Write(first), WriteOutcome::Completed);
    EXPECT_EQ(port->Write(second), WriteOutcome::Completed);
    EXPECT_EQ(port->Write({}), WriteOutcome::Completed);
    EXPECT_EQ(pty.ReadMaster(10), "S20\nF650\r\n");
    EXPECT_FALSE(PseudoTerminal::Readable(pty.master.get(), 100)) << "unexpected extra bytes";
}

TEST_F(PosixSerialPort, WriteThatCannotFinishStopsAtTheTimeOutAsWaitedFor) {
    auto port = OpenSerialPortDevice(pty.slaveName).port;
    ASSERT_NE(port, nullptr);
    port->SetTimeouts({0xFFFFFFFFu, 0, 0, 0, 50});
    ASSERT_TRUE(port->ApplyLineSettings(9600));
    // Nobody reads the master, so the pseudo-terminal's buffers fill up.
    const std::vector<std::uint8_t> flood(1 << 20, 'x');
    EXPECT_EQ(port->Write(flood), WriteOutcome::Waited);
    port->Purge(platform::kPurgeAll);
}

TEST_F(PosixSerialPort, SecondOpenIsRefusedUntilTheFirstCloses) {
    auto first = OpenSerialPortDevice(pty.slaveName).port;
    ASSERT_NE(first, nullptr);
    const auto refused = OpenSerialPortDevice(pty.slaveName);
    EXPECT_EQ(refused.port, nullptr);
    EXPECT_EQ(refused.failure, pty.slaveName + ": in use by another program");

    first->Close();
    first->Close();  // a second close does nothing
    EXPECT_EQ(first->Write(Bytes("x")), WriteOutcome::Failed);
    EXPECT_FALSE(first->Purge(platform::kPurgeAll));

    auto second = OpenSerialPortDevice(pty.slaveName).port;
    ASSERT_NE(second, nullptr);
    second.reset();  // the destructor closes too
    EXPECT_NE(OpenSerialPortDevice(pty.slaveName).port, nullptr);
}

TEST_F(PosixSerialPort, OnlyTerminalDevicesOpen) {
    // A failed open says why, naming the device. A plain file stands for a
    // device that is not a terminal (no test opens a real device).
    const std::string plainFile =
        (std::filesystem::temp_directory_path() / ("velscan-not-a-tty-" + std::to_string(getpid())))
            .string();
    { std::ofstream(plainFile) << "x"; }
    const auto notTerminal = OpenSerialPortDevice(plainFile);
    std::filesystem::remove(plainFile);
    EXPECT_EQ(notTerminal.port, nullptr);
    EXPECT_EQ(notTerminal.failure, plainFile + ": not a terminal");
    const auto missing = OpenSerialPortDevice("/nonexistent/serial/device");
    EXPECT_EQ(missing.port, nullptr);
    EXPECT_EQ(missing.failure, "/nonexistent/serial/device: No such file or directory");
    EXPECT_EQ(OpenSerialPortDevice("").port, nullptr);
    const auto opened = OpenSerialPortDevice(pty.slaveName);
    EXPECT_NE(opened.port, nullptr);
    EXPECT_TRUE(opened.failure.empty());
}

TEST_F(PosixSerialPort, PurgeDiscardsOnlyTheDirectionsItNames) {
    auto port = OpenSerialPortDevice(pty.slaveName).port;
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->ApplyLineSettings(9600));

    ASSERT_TRUE(pty.WriteMaster("abc"));
    ASSERT_TRUE(PseudoTerminal::Readable(pty.slave.get(), 2000));
    EXPECT_TRUE(port->Purge(platform::kPurgeTxAbort | platform::kPurgeTxClear));
    EXPECT_TRUE(PseudoTerminal::Readable(pty.slave.get(), 0)) << "output purge took the input";

    EXPECT_TRUE(port->Purge(platform::kPurgeRxClear));
    EXPECT_FALSE(PseudoTerminal::Readable(pty.slave.get(), 100));

    ASSERT_TRUE(pty.WriteMaster("def"));
    ASSERT_TRUE(PseudoTerminal::Readable(pty.slave.get(), 2000));
    EXPECT_TRUE(port->Purge(platform::kPurgeAll));
    EXPECT_FALSE(PseudoTerminal::Readable(pty.slave.get(), 100));
}

TEST_F(PosixSerialPort, SerialLinkSendsTheGreetingAndConfigurationOverTheDevice) {
    auto clock = std::make_shared<fakes::RecordingClock>();
    platform::Backend backend;
    backend.clock = clock;
    backend.openSerialPort = [name = pty.slaveName](std::int32_t) {
        return OpenSerialPortDevice(name).port;
    };
    backend.openCardDevice = [] { return std::unique_ptr<platform::CardDevice>(); };
    platform::ScopedBackend scoped(std::move(backend));

    SerialLink link;
    ASSERT_EQ(SerialLinkOpen(link, 9600, 3), 1);
    termios mode{};
    ASSERT_EQ(tcgetattr(pty.slave.get(), &mode), 0);
    EXPECT_EQ(cfgetospeed(&mode), B9600);

    SerialLinkSend(link, kGreetingCommand);
    // The configuration begins with a purge of the output queue: take the
    // greeting off the line first, as the run's 200 ms pause does.
    EXPECT_EQ(pty.ReadMaster(1), "I");
    SendRangeFinderConfiguration(link, 20, 650);
    const std::string expected = "DA1T2X3S20\nF650\n";
    EXPECT_EQ(pty.ReadMaster(expected.size()), expected);
    EXPECT_FALSE(PseudoTerminal::Readable(pty.master.get(), 100)) << "unexpected extra bytes";
    EXPECT_EQ(clock->pauses, (std::vector<std::uint32_t>{200, 200, 200}));

    EXPECT_EQ(OpenSerialPortDevice(pty.slaveName).port, nullptr) << "the link must hold the port";
    EXPECT_EQ(SerialLinkClose(link), 1);
    EXPECT_NE(OpenSerialPortDevice(pty.slaveName).port, nullptr);
}

}  // namespace
}  // namespace velscan
