// A close that fails: the header stays in the stream's buffer until the close
// flushes it into a pipe nobody reads any more.
#include "acquisition/measurement_file.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace velscan {
namespace {

TEST(MeasurementFileOnPosix, AFailedCloseIsReported) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(close(ends[0]), 0);
    std::FILE* stream = fdopen(ends[1], "w");
    ASSERT_NE(stream, nullptr);
    // The broken pipe comes back as a failed write, not as a signal that ends the test.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, &previous), 0);
    ::testing::internal::CaptureStderr();
    const WriteResult result = WriteMeasurementRows(0, {}, OutputStream(stream));
    const std::string reported = ::testing::internal::GetCapturedStderr();
    sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_EQ(reported, "") << "the caller prints the failure";
    EXPECT_EQ(result, WriteResult::CloseFailed);
    EXPECT_STREQ(WriteFailureLine(result), "Error: Can't close the file\n");
}

}  // namespace
}  // namespace velscan
