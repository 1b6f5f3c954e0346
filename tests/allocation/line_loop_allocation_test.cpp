// Counts the heap allocations of recorded lines: RecordLines on the simulated
// instrument in virtual time, from the first line read to the last converted.
// The simulated instrument allocates nothing once it is running and has seen
// each control once, so every allocation counted is the card library's or the
// run's.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <memory>
#include <new>

#include "acquisition/line_loop.hpp"
#include "acquisition/measurement_file.hpp"
#include "acquisition/progress.hpp"
#include "acquisition/run_buffers.hpp"
#include "cardlib/vexa.hpp"
#include "laserlink/serial_link.hpp"
#include "platform/backend.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "sim/instrument.hpp"
#include "sim/lookup_source.hpp"
#include "sim/sim_devices.hpp"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* Allocate(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}

}  // namespace

// Every replaceable form funnels into the two above (aligned forms are not
// used by the code under test, and keep their default).
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace velscan {
namespace {

class IdleConsole final : public platform::Console {
public:
    bool KeyWaiting() override { return false; }
    int ReadKey() override { return -1; }
};

// The run's own observer: every line's figures computed and the status line
// (here on a file, as on a terminal) redrawn with them.
class RunObserver final : public LineObserver {
public:
    explicit RunObserver(SamplingProgress& progress) : progress_(progress) {}
    void LineRecorded(std::int32_t linesRecorded, std::span<const Measurement, kSamplesPerLine> line,
                      bool lostSamples) override {
        progress_.LineRecorded(linesRecorded, line, lostSamples);
        lines = linesRecorded;
    }
    std::int32_t lines = 0;

private:
    SamplingProgress& progress_;
};

TEST(LineLoopAllocations, RecordedLinesAllocateNothing) {
    auto clock = std::make_shared<platform::VirtualClock>();
    sim::InstrumentOptions options;
    options.seed = 7;
    // Loaded here: the instrument would otherwise load it at its first sample.
    const auto synthesis = sim::SynthesisFromFile(VELSCAN_LOOKUP_FILE);
    ASSERT_NE(synthesis, nullptr);
    options.synthesis = [synthesis] { return synthesis; };
    auto card = std::make_shared<sim::Instrument>(clock, std::move(options));
    auto gate = std::make_shared<sim::PortGate>();
    platform::Backend backend;
    backend.clock = clock;
    backend.openSerialPort = [card, gate](std::int32_t) {
        return sim::OpenSimulatedPort(card, gate);
    };
    backend.openCardDevice = [card] { return sim::OpenSimulatedCard(card); };
    const platform::ScopedBackend scoped(std::move(backend));

    // The run's preparation, as RunAcquisition makes it.
    VexaInitBoards();
    SerialLink link;
    ASSERT_EQ(SerialLinkOpen(link, 9600, 1), 1);
    const std::int32_t index = VexaOpen(1, &link);
    ASSERT_GE(index, 0);
    const auto board = static_cast<std::uint32_t>(index);
    ASSERT_EQ(VexaCalibrate(board), 1);
    ASSERT_EQ(VexaSamplingModeInit(board), 1);
    ASSERT_EQ(VexaSetEncoder(board, 1, 0, 4096), 1);
    ASSERT_EQ(VexaSetEncoder(board, 2, 0, 200), 1);
    ASSERT_EQ(VexaLoadLookupFile(board, VELSCAN_LOOKUP_FILE), 1);
    ASSERT_EQ(VexaSetSampleAndRange(board, nullptr, 650, 200), 1);
    VexaSetMotorPower(board, 1, 255);
    platform::Pause(20000);
    VexaClearSampleBuffer(board);
    VexaSamplingEnable(board);
    // The simulated driver counts the issues of each control code in a map
    // that grows at a code's first issue; the status is first read in the loop.
    std::int32_t overflow = 0;
    ASSERT_EQ(VexaGetStatus(board, overflow), 1);
    const auto rawLine = RawLineBuffer();
    const auto measurements = MeasurementArray();

    // The counter sees the allocations of this program's code.
    counting = true;
    const auto probe = std::make_unique<int>(1);
    counting = false;
    ASSERT_EQ(allocations.load(), 1);

    IdleConsole console;
    // The status line's stream has its buffer before the count starts.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> terminal(std::tmpfile(), &std::fclose);
    ASSERT_NE(terminal, nullptr);
    static char streamBuffer[BUFSIZ];
    ASSERT_EQ(std::setvbuf(terminal.get(), streamBuffer, _IOFBF, sizeof streamBuffer), 0);
    StatusLine status(terminal.get(), true);
    constexpr std::int32_t kLines = 6;
    ScanLineFigures& figures = RunLineFigures();
    SamplingProgress progress(status, *clock, kLines, 20, figures);
    progress.Begin();
    RunObserver observer(progress);
    allocations = 0;
    counting = true;
    const LineLoopResult result =
        RecordLines(board, kLines, rawLine, measurements, console, observer);
    counting = false;

    EXPECT_EQ(result.end, LineLoopEnd::Completed);
    EXPECT_EQ(result.linesRecorded, kLines);
    EXPECT_EQ(observer.lines, kLines);
    EXPECT_EQ(allocations.load(), 0);
    // The figures of every line were kept, and the status line showed them.
    ASSERT_EQ(figures.Lines().size(), static_cast<std::size_t>(kLines));
    for (const LineFigures& line : figures.Lines()) EXPECT_TRUE(line.mirrorTurnsPerSecond.has_value());
    std::fflush(terminal.get());
    std::rewind(terminal.get());
    char shown[4096] = {};
    const std::size_t length = std::fread(shown, 1, sizeof shown - 1, terminal.get());
    EXPECT_NE(std::string(shown, length).find("Sampling: line 6 of 6, "), std::string::npos);
    EXPECT_NE(std::string(shown, length).find("% in range; q: stop"), std::string::npos);

    SerialLinkClose(link);
    VexaClose(board);
    VexaInitBoards();
}

}  // namespace
}  // namespace velscan
