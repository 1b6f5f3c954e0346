#include "acquisition/seam_trace.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "accepting_card_device.hpp"
#include "recording_serial_port.hpp"

namespace velscan {
namespace {

namespace fs = std::filesystem;

TEST(SeamTraceTest, EveryCallAtTheSeamIsWrittenAsItHappens) {
    const fs::path path =
        fs::temp_directory_path() / ("velscan-trace-" + std::to_string(std::random_device{}()));
    auto serialLog = std::make_shared<fakes::SerialPortLog>();
    fakes::RecordingSerialPort* opened = nullptr;
    platform::Backend backend;
    backend.openSerialPort =
        [serialLog, &opened](std::int32_t port) -> std::unique_ptr<platform::SerialPort> {
        if (port == 9) return nullptr;
        auto serial = std::make_unique<fakes::RecordingSerialPort>(serialLog);
        opened = serial.get();
        return serial;
    };
    backend.openCardDevice = []() -> std::unique_ptr<platform::CardDevice> {
        return std::make_unique<fakes::AcceptingCardDevice>();
    };
    std::string error;
    ASSERT_TRUE(TraceBackend(backend, path.string(), error));

    EXPECT_EQ(backend.openSerialPort(9).port, nullptr);
    {
        std::unique_ptr<platform::SerialPort> port = std::move(backend.openSerialPort(1).port);
        const std::string text = "S20\n\x01\\";
        port->SetEventMask(platform::kEventRxChar);
        port->SetQueueSizes(4096, 2048);
        port->SetTimeouts({0xFFFFFFFFu, 1, 2, 3, 1000});
        EXPECT_TRUE(port->ApplyLineSettings(9600));
        opened->refuseLineSettings = true;
        EXPECT_FALSE(port->ApplyLineSettings(12345));
        port->SetDtr(true);
        port->Purge(platform::kPurgeAll);
        EXPECT_EQ(port->Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}),
                  platform::WriteOutcome::Completed);
        port->SetDtr(false);
        port->Close();
        std::unique_ptr<platform::CardDevice> card = std::move(backend.openCardDevice().device);
        const std::byte input[4] = {std::byte{0x03}, std::byte{0x00}, std::byte{0xff},
                                    std::byte{0x00}};
        EXPECT_TRUE(card->Control(0x9c40202c, input, {}).succeeded);
        EXPECT_TRUE(card->Control(0x9c402000, {}, {}).succeeded);
    }
    // The wrapped port still received everything.
    EXPECT_EQ(serialLog->Written(), "S20\n\x01\\");

    std::string trace;
    {
        std::ifstream in(path);
        trace.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(trace,
              "serial open failed 9\n"
              "serial open 1\n"
              "serial event mask 1\n"
              "serial queue sizes 4096 2048\n"
              "serial timeouts ffffffff 1 2 3 1000\n"
              "serial line settings 9600 8N1 ok\n"
              "serial line settings 12345 8N1 refused\n"
              "serial dtr raised\n"
              "serial purge f\n"
              "serial write S20\\n\\x01\\\\\n"
              "serial dtr lowered\n"
              "serial close\n"
              "card open\n"
              "card control 9c40202c 0300ff00 ok\n"
              "card control 9c402000 - ok\n"
              "card close\n");
    // The backend holds the trace file open, and Windows removes no open file.
    backend = platform::Backend{};
    fs::remove(path);

    platform::Backend other;
    EXPECT_FALSE(TraceBackend(other, "/no/such/dir/trace", error));
    EXPECT_EQ(error, "Error: VELSCAN_TRACE: can't create the file /no/such/dir/trace\n");
}

}  // namespace
}  // namespace velscan
