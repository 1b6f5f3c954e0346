#include <gtest/gtest.h>

#include <vector>

#include "platform/console_keys.hpp"
#include "platform/serial_port_name.hpp"

namespace velscan {
namespace {

TEST(SerialPortName, PlainNameUpToNineDeviceNamespaceBeyond) {
    using platform::SerialPortDeviceName;
    EXPECT_EQ(SerialPortDeviceName(1), "COM1");
    EXPECT_EQ(SerialPortDeviceName(9), "COM9");
    EXPECT_EQ(SerialPortDeviceName(10), "\\\\.\\COM10");
    EXPECT_EQ(SerialPortDeviceName(256), "\\\\.\\COM256");
    EXPECT_EQ(SerialPortDeviceName(0), "\\\\.\\COM0");
}

TEST(ConsoleKeystroke, ExtendedKeysAreReadWholeAndNeverLookLikeQ) {
    std::vector<int> codes;
    std::size_t next = 0;
    auto reader = [&] { return codes.at(next++); };

    codes = {'q'};
    EXPECT_EQ(platform::ReadKeystroke(reader), 'q');
    EXPECT_EQ(next, 1u);

    // Alt+F10: prefix 0, scan code 0x71 ('q').
    codes = {0, 0x71, 'x'};
    next = 0;
    EXPECT_EQ(platform::ReadKeystroke(reader), 0x171);
    EXPECT_EQ(next, 2u);
    EXPECT_EQ(platform::ReadKeystroke(reader), 'x');

    codes = {0xE0, 0x48};  // an arrow key
    next = 0;
    EXPECT_EQ(platform::ReadKeystroke(reader), 0x148);
    EXPECT_EQ(next, 2u);
}

}  // namespace
}  // namespace velscan
