#pragma once
// Shared pieces of the simulated instrument's tests: the committed synthetic
// lookup file, a simulated card in virtual time, and a driver for its controls.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <memory>
#include <random>
#include <span>
#include <vector>

#include "cardlib/device_controls.hpp"
#include "cardlib/protocol.hpp"
#include "conversion/samples.hpp"
#include "platform/clock.hpp"
#include "sim/instrument.hpp"
#include "sim/lookup_source.hpp"
#include "sim/simulated_hardware.hpp"

namespace velscan::simtest {

// A tag of this test process, so test programs that run at the same time (two
// checkouts, or two builds of one) never share a temporary file.
inline const std::string& ProcessTag() {
    static const std::string tag = std::to_string(std::random_device{}());
    return tag;
}

// A file name in the test's temporary directory, removed again afterwards.
class TempFile {
public:
    explicit TempFile(const char* name)
        : path_((std::filesystem::path(testing::TempDir()) / (ProcessTag() + "-" + name)).string()) {
        std::filesystem::remove(path_);
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// examples/ of the source tree. ctest names it in VELSCAN_TEST_EXAMPLES_DIR:
// __FILE__ is relative to the build folder when a compiler cache rewrites
// paths (ccache's base_dir), and the tests run in another folder.
inline std::filesystem::path ExamplesDir() {
    if (const char* dir = std::getenv("VELSCAN_TEST_EXAMPLES_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "examples";
}

// examples/LOOKUPHS of the source tree.
inline std::filesystem::path ExampleLookupPath() { return ExamplesDir() / "LOOKUPHS"; }

inline std::shared_ptr<const sim::RawSynthesis> ExampleSynthesis() {
    static const auto synthesis = sim::SynthesisFromFile(ExampleLookupPath().string());
    return synthesis;
}

inline sim::InstrumentOptions ExampleOptions(std::uint64_t seed = 7, sim::FaultSet faults = {}) {
    sim::InstrumentOptions options;
    options.seed = seed;
    options.faults = std::move(faults);
    options.synthesis = [] { return ExampleSynthesis(); };
    return options;
}

// Issues controls on simulated hardware the way the card library's device
// operations do, without the pauses.
class Driver {
public:
    explicit Driver(sim::SimulatedHardware& card) : card_(card) {}

    bool Plain(std::uint32_t code) { return card_.Control(code, {}, {}).succeeded; }
    bool Word16(std::uint32_t code, std::uint16_t value) {
        return card_.Control(code, EncodeWord16(value), {}).succeeded;
    }
    bool Register(std::uint16_t reg, std::uint16_t value) {
        return card_.Control(kControlRegisterWrite, EncodeWordPair(reg, value), {}).succeeded;
    }
    bool Encoder(std::uint16_t word) {
        return card_.Control(kControlEncoder, EncodeWordPair(word, 0), {}).succeeded;
    }
    void Table(const std::array<RegisterWrite, 12>& table) {
        for (const RegisterWrite& write : table) {
            if (write.reg == kRegisterTableEnd) break;
            Register(write.reg, write.value);
        }
    }
    void Enable() {
        Plain(kControlSamplingEnableStep1);
        Plain(kControlSamplingEnableStep2);
    }
    // Up to n records; `bytesReturned` of the control checked against the count.
    std::vector<RawSample> Read(std::size_t n) {
        std::vector<RawSample> records(n);
        const auto result = card_.Control(
            kControlBlockRead, {}, std::as_writable_bytes(std::span(records)));
        if (!result.succeeded) return {};
        records.resize(result.bytesReturned / kRawSampleBytes);
        return records;
    }
    std::array<std::uint32_t, 7> Status() {
        std::array<std::uint32_t, 7> record{};
        const auto bytes = std::as_writable_bytes(std::span(record));
        card_.Control(kControlStatus, bytes, bytes);
        return record;
    }

private:
    sim::SimulatedHardware& card_;
};

}  // namespace velscan::simtest
