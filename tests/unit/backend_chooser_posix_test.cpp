#include <gtest/gtest.h>

#include <string>

#include "acquisition/backend_chooser.hpp"
#include "plan_and_build.hpp"
#include "pseudo_terminal.hpp"

namespace velscan {
namespace {

TEST(BackendChooserPosix, NamedLaserDeviceIsOpenedForEveryPortNumber) {
    testing_support::PseudoTerminal pty;
    ASSERT_TRUE(pty.master) << "no pseudo-terminal";
    const std::string device = pty.slaveName;
    std::string error;
    auto backend = testing_support::PlanAndBuild(
        [&device](const char* name) -> const char* {
            return std::string(name) == "VELSCAN_LASER" ? device.c_str() : nullptr;
        },
        error);
    ASSERT_TRUE(backend) << error;
    auto port = std::move(backend->seam.openSerialPort(7).port);
    ASSERT_NE(port, nullptr);
    port.reset();
    EXPECT_NE(backend->seam.openSerialPort(-1).port, nullptr);
    EXPECT_EQ(backend->seam.openCardDevice().device, nullptr);
}

}  // namespace
}  // namespace velscan
