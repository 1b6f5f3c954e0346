#pragma once
// The card library's side of a recording run against simulated hardware, in
// virtual time: open, reset, calibrate, sampling mode, encoders, lookup file,
// sample period and range, motor, the mirror's wait, then lines of samples read
// and converted, restarting sampling when a line's last sample asks for it.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "cardlib/vexa.hpp"
#include "conversion/lookup_table.hpp"
#include "laserlink/serial_link.hpp"
#include "platform/backend.hpp"
#include "sim_support.hpp"

namespace velscan::simtest {

struct CardRun {
    std::int32_t calibrationResult = 0;
    std::int32_t calibrationValue = 0;
    std::int32_t averagingCount = 0;
    std::vector<int> readResults;
    std::vector<RawSample> records;         // every sampling record read
    std::vector<Measurement> measurements;  // converted, in the same order
    std::vector<std::uint32_t> lineAtRestart;
};

// Keeps the program-wide lookup table as it was around a run that loads one.
class ProgramTableGuard {
public:
    ProgramTableGuard() : saved_(std::make_unique<LookupTable>(ProgramLookupTable())) {}
    ~ProgramTableGuard() { ProgramLookupTable() = *saved_; }
    ProgramTableGuard(const ProgramTableGuard&) = delete;
    ProgramTableGuard& operator=(const ProgramTableGuard&) = delete;

private:
    std::unique_ptr<LookupTable> saved_;
};

// `beforeSampling` runs right after the mirror's wait, before the buffer is
// cleared for sampling (a test resets what it watches there).
template <typename Hook>
CardRun RunCardLibrary(platform::Backend backend, std::int32_t lines, std::uint32_t samplePeriod,
                       Hook beforeSampling) {
    platform::ScopedBackend scoped(std::move(backend));
    ProgramTableGuard tableGuard;
    CardRun run;
    VexaInitBoards();
    SerialLink link;
    EXPECT_EQ(SerialLinkOpen(link, 9600, 1), 1);
    SerialLinkSend(link, "I");
    platform::Pause(200);
    const std::int32_t index = VexaOpen(1, &link);
    EXPECT_GE(index, 0);
    if (index < 0) return run;
    const auto board = static_cast<std::uint32_t>(index);
    EXPECT_EQ(VexaResetBoard(board), 1);
    VexaSetSwitch(board, 1);
    run.calibrationResult = VexaCalibrate(board);
    run.calibrationValue = BoardTable()[board].calibrationValue;
    EXPECT_EQ(VexaSamplingModeInit(board), 1);
    EXPECT_EQ(VexaClearEncoder(board, 3, 1), 1);
    EXPECT_EQ(VexaSetEncoder(board, 1, 0, 4096), 1);
    EXPECT_EQ(VexaSetEncoder(board, 2, 0, 200), 1);
    EXPECT_EQ(VexaLoadLookupFile(board, ExampleLookupPath().string().c_str()), 1);
    EXPECT_EQ(VexaSetSampleAndRange(board, nullptr, 650, samplePeriod), 1);
    run.averagingCount = BoardTable()[board].averagingCount;
    VexaSetMotorPower(board, 1, 255);
    platform::Pause(20000);
    beforeSampling();
    VexaClearSampleBuffer(board);
    VexaSamplingEnable(board);

    std::vector<RawSample> line(kSamplesPerLine);
    std::vector<Measurement> converted(kSamplesPerLine);
    for (std::int32_t k = 0; k < lines; ++k) {
        std::int32_t delivered = 0;
        const int result = VexaReadSamples(board, line.data(), 5000, delivered, 1);
        run.readResults.push_back(result);
        if (result == 0) break;
        if ((line.back().statusWord & kStatusRestartBit) != 0) {
            run.lineAtRestart.push_back(static_cast<std::uint32_t>(k));
            VexaClearSampleBuffer(board);
            VexaSamplingEnable(board);
        }
        EXPECT_NE(VexaConvertSamples(board, line.data(), converted.data(), 5000), 0);
        run.records.insert(run.records.end(), line.begin(), line.end());
        run.measurements.insert(run.measurements.end(), converted.begin(), converted.end());
    }
    VexaSetMotorPower(board, 1, 0);
    SerialLinkClose(link);
    VexaClose(board);
    VexaInitBoards();
    return run;
}

inline CardRun RunCardLibrary(platform::Backend backend, std::int32_t lines,
                              std::uint32_t samplePeriod) {
    return RunCardLibrary(std::move(backend), lines, samplePeriod, [] {});
}

}  // namespace velscan::simtest
