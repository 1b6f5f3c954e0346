// The main of the Windows test programs: GoogleTest and GoogleMock as usual,
// with unhandled exceptions turned into a failing exit code first.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "crash_exit.hpp"

int main(int argc, char** argv) {
    velscan::testing::InstallCrashExit();
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
