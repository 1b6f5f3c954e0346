#pragma once
// Two independent pieces of the export's work at once: the passes over every
// row of a full table take tens of milliseconds each, and the machines it runs
// on have more than one core.

#include <cstddef>
#include <future>
#include <system_error>
#include <thread>

namespace velscan::exporter {

// Rows from which a pass over them is worth a thread of its own: starting
// one costs tens of microseconds, such a pass takes milliseconds.
inline constexpr std::size_t kRowsWorthAThread = std::size_t{1} << 16;

// Runs `first` on this thread and `second` on another, and returns when both
// are done; an exception of `first` is rethrown before one of `second`. When
// the work is not worth a thread, on a single core, or when no thread can be
// started, runs them one after the other. The two must not touch the same
// data but to read it.
template <typename First, typename Second>
void SideBySide(bool worthAThread, First&& first, Second&& second) {
    std::future<void> other;
    if (worthAThread && std::thread::hardware_concurrency() > 1) {
        try {
            other = std::async(std::launch::async, [&second] { second(); });
        } catch (const std::system_error&) {
            // No thread to be had: the same work, one after the other, below.
        }
    }
    if (!other.valid()) {
        first();
        second();
        return;
    }
    try {
        first();
    } catch (...) {
        other.wait();
        throw;
    }
    other.get();
}

}  // namespace velscan::exporter
