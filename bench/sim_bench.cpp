// Speed of the simulated instrument: samples produced per second in sampling
// mode (mirror at full speed, the built-in room, the synthetic lookup table),
// and the two steps of the inverted conversion on their own.

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "cardlib/device_controls.hpp"
#include "platform/clock.hpp"
#include "sim/instrument.hpp"
#include "sim/lookup_source.hpp"
#include "sim/noise.hpp"
#include "sim/raw_synthesis.hpp"

namespace {

using namespace velscan;

void Control(sim::Instrument& card, std::uint32_t code, std::span<const std::byte> input = {}) {
    card.Control(code, input, {});
}

void Register(sim::Instrument& card, std::uint16_t reg, std::uint16_t value) {
    const std::byte bytes[4] = {std::byte(reg & 0xFF), std::byte(reg >> 8), std::byte(value & 0xFF),
                                std::byte(value >> 8)};
    Control(card, kControlRegisterWrite, bytes);
}

// Samples produced and delivered: each iteration lets 10 ms of virtual time
// pass at a 20 us period (500 samples) and reads them as the card library would.
void BM_SimulatedSampling(benchmark::State& state) {
    auto clock = std::make_shared<platform::VirtualClock>();
    sim::InstrumentOptions options;
    options.synthesis = sim::BuiltInSynthesis;
    sim::Instrument card(clock, options);
    Register(card, 0x0003, 255);
    clock->SleepMs(20000);
    for (const RegisterWrite& write : kSamplingRegisterTable) {
        if (write.reg == kRegisterTableEnd) break;
        Register(card, write.reg, write.value);
    }
    Control(card, kControlSamplingEnableStep1);
    Control(card, kControlSamplingEnableStep2);

    std::vector<RawSample> line(5000);
    const auto bytes = std::as_writable_bytes(std::span(line));
    std::size_t samples = 0;
    for (auto _ : state) {
        clock->SleepMs(10);
        const auto result = card.Control(kControlBlockRead, {}, bytes);
        samples += result.bytesReturned / 16;
        benchmark::DoNotOptimize(line.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(samples));
}
BENCHMARK(BM_SimulatedSampling);

void BM_RawRangeFor(benchmark::State& state) {
    const auto synthesis = sim::BuiltInSynthesis();
    const sim::Noise noise(1);
    const auto averaging = static_cast<std::int32_t>(state.range(0));
    std::uint64_t i = 0;
    for (auto _ : state) {
        const double distance = 650.0 * noise.Uniform(sim::NoiseStream::RangeNoise, i);
        const auto amplitude = static_cast<std::uint32_t>(1 + i % 255);
        benchmark::DoNotOptimize(synthesis->RawRangeFor(distance, amplitude, 107, averaging));
        ++i;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(i));
}
BENCHMARK(BM_RawRangeFor)->Arg(1)->Arg(128);

void BM_EncodeRangeWord(benchmark::State& state) {
    std::uint32_t raw = 4000;
    std::uint64_t choice = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sim::EncodeRangeWord(raw, 803, choice++));
        raw = raw * 1103515245u % 600000u + 4000u;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(choice));
}
BENCHMARK(BM_EncodeRangeWord);

}  // namespace
