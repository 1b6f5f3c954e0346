#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "laserlink/range_finder_commands.hpp"
#include "laserlink/serial_link.hpp"
#include "platform/backend.hpp"
#include "recording_clock.hpp"
#include "recording_serial_port.hpp"

namespace velscan {
namespace {

using fakes::RecordingClock;
using fakes::RecordingSerialPort;
using fakes::SerialPortLog;

struct LinkFixture : ::testing::Test {
    std::shared_ptr<SerialPortLog> log = std::make_shared<SerialPortLog>();
    std::shared_ptr<RecordingClock> clock = std::make_shared<RecordingClock>();
    std::int32_t openedPort = -1;
    bool refuseSettings = false;
    bool portExists = true;

    platform::Backend MakeBackend() {
        platform::Backend backend;
        backend.clock = clock;
        backend.openSerialPort = [this](std::int32_t port) -> std::unique_ptr<platform::SerialPort> {
            openedPort = port;
            if (!portExists) return nullptr;
            auto serial = std::make_unique<RecordingSerialPort>(log, clock.get());
            serial->refuseLineSettings = refuseSettings;
            return serial;
        };
        backend.openCardDevice = [] { return std::unique_ptr<platform::CardDevice>(); };
        return backend;
    }
};

TEST_F(LinkFixture, OpenMakesTheDocumentedSequenceAndCloseLowersDtrBeforeClosing) {
    platform::ScopedBackend scoped(MakeBackend());
    SerialLink link;
    ASSERT_EQ(SerialLinkOpen(link, 9600, 3), 1);
    EXPECT_EQ(openedPort, 3);
    ASSERT_EQ(log->calls.size(), 7u);
    EXPECT_EQ(log->Names(), (std::vector<std::string>{"SetEventMask", "SetQueueSizes", "Purge",
                                                      "SetTimeouts", "ApplyLineSettings",
                                                      "SetDtr", "Purge"}));
    EXPECT_EQ(log->calls[0].value, 1u);                              // EV_RXCHAR
    EXPECT_EQ(log->calls[1].value, (4096ull << 32) | 4096u);         // queues
    EXPECT_EQ(log->calls[2].value, 15u);                             // all four purge flags
    EXPECT_EQ(log->calls[3].value, 1000u);                           // write time-out
    EXPECT_EQ(log->calls[4].value, 9600u);                           // baud rate
    EXPECT_EQ(log->calls[5].value, 1u);                              // DTR raised
    EXPECT_EQ(log->calls[6].value, 15u);

    log->calls.clear();
    EXPECT_EQ(SerialLinkClose(link), 1);
    EXPECT_EQ(log->Names(),
              (std::vector<std::string>{"SetEventMask", "SetDtr", "Purge", "Close"}));
    EXPECT_EQ(log->calls[0].value, 0u);
    EXPECT_EQ(log->calls[1].value, 0u);  // DTR lowered
    EXPECT_EQ(link.handle, nullptr);
}

TEST_F(LinkFixture, OpenFailsWhenThePortIsMissingOrRefusesItsSettings) {
    platform::ScopedBackend scoped(MakeBackend());
    portExists = false;
    SerialLink missing;
    EXPECT_EQ(SerialLinkOpen(missing, 9600, 1), 0);
    EXPECT_EQ(missing.handle, nullptr);
    EXPECT_TRUE(log->calls.empty());

    portExists = true;
    refuseSettings = true;
    SerialLink refused;
    EXPECT_EQ(SerialLinkOpen(refused, 9600, 1), 0);
    EXPECT_EQ(refused.handle, nullptr);
    const std::vector<std::string> names = log->Names();
    EXPECT_EQ(names.back(), "Close");
    EXPECT_EQ(std::count(names.begin(), names.end(), std::string("SetDtr")), 0);
}

TEST_F(LinkFixture, SendWritesTheTextWithoutItsTerminator) {
    platform::ScopedBackend scoped(MakeBackend());
    SerialLink link;
    ASSERT_EQ(SerialLinkOpen(link, 9600, 1), 1);
    EXPECT_EQ(SerialLinkSend(link, "I"), 1);
    EXPECT_EQ(log->Writes(), std::vector<std::string>{"I"});
    SerialLinkClose(link);
}

TEST_F(LinkFixture, ConfigurationGroupGoesOutAfterAPurgeWith200msBeforeEachCommand) {
    platform::ScopedBackend scoped(MakeBackend());
    SerialLink link;
    ASSERT_EQ(SerialLinkOpen(link, 9600, 1), 1);
    log->calls.clear();

    SendRangeFinderConfiguration(link, 20, 650);
    EXPECT_EQ(log->Names(), (std::vector<std::string>{"Purge", "Write", "Write", "Write"}));
    EXPECT_EQ(log->calls[0].value, 15u);
    EXPECT_EQ(log->Writes(), (std::vector<std::string>{"DA1T2X3", "S20\n", "F650\n"}));
    EXPECT_EQ(clock->pauses, (std::vector<std::uint32_t>{200, 200, 200}));
    EXPECT_EQ(log->calls[1].at - log->calls[0].at, std::chrono::milliseconds(200));
    EXPECT_EQ(log->calls[3].at - log->calls[2].at, std::chrono::milliseconds(200));
    SerialLinkClose(link);
}

TEST(RangeFinderCommands, ParametersAreDecimalWithSignAndOneLineFeed) {
    EXPECT_EQ(FormatSamplePeriodCommand(20), "S20\n");
    EXPECT_EQ(FormatSamplePeriodCommand(9999999), "S9999999\n");
    EXPECT_EQ(FormatMaxRangeCommand(-5), "F-5\n");
    EXPECT_EQ(FormatMaxRangeCommand(-2147483648L), "F-2147483648\n");
    EXPECT_EQ(FormatMaxRangeCommand(0), "F0\n");
}

}  // namespace
}  // namespace velscan
