// velscan-live: started by velscan, at a lower priority, before the mirror's
// run-up. Its standard input carries velscan's messages
// (scanfile/live_messages.hpp); once sampling starts it follows the capture and keeps
// the live page up to date, and after the second it writes the finished
// table's picture and viewer. An input that ends without the second message
// means velscan ended without saying how: the page then says so and how to
// recover the lines. Exit codes: 0 done, 2 not started by velscan (no start
// message).
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "conversion/message_sink.hpp"
#include "live/follower.hpp"
#include "platform/files/standard_streams.hpp"
#include "scanfile/live_messages.hpp"

namespace {

// How often the capture is read.
constexpr auto kPollSpacing = std::chrono::seconds(1);

// The conversion's messages were velscan's to print, once: here they are
// dropped.
class SilentSink final : public velscan::MessageSink {
public:
    void Print(velscan::MessageStream, const char*) override {}
};

// The rest of the input, read on a thread of its own: the end message, or
// the end of the input.
class InputWatch {
public:
    InputWatch() : reader_([this] { Read(); }) {}
    ~InputWatch() { reader_.join(); }
    InputWatch(const InputWatch&) = delete;
    InputWatch& operator=(const InputWatch&) = delete;

    // Waits at most `spacing`; true once the input has ended.
    bool WaitForEnd(std::chrono::milliseconds spacing) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, spacing, [this] { return closed_; });
    }
    bool Sampling() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return sampling_;
    }
    std::optional<velscan::LiveEnd> End() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return end_;
    }

private:
    void Read() {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (velscan::IsLiveSampling(line)) {
                const std::lock_guard<std::mutex> lock(mutex_);
                sampling_ = true;
                continue;
            }
            if (auto end = velscan::ReadLiveEnd(line)) {
                const std::lock_guard<std::mutex> lock(mutex_);
                end_ = std::move(end);
                // Nothing more is said after it; velscan closes the input next.
                break;
            }
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    bool sampling_ = false;
    std::optional<velscan::LiveEnd> end_;
    std::thread reader_;
};

}  // namespace

int main(int argc, char**) {
    (void)velscan::files::OpenClosedStandardStreams();
    if (argc > 1) {
        std::fputs("velscan-live follows a scan for its live page; velscan starts it and tells it what to follow.\n",
                   stderr);
        return 2;
    }
    std::string line;
    std::optional<velscan::LiveStart> start;
    if (std::getline(std::cin, line)) start = velscan::ReadLiveStart(line);
    if (!start) {
        std::fputs("velscan-live: Error: no scan to follow: the first line of the input is not velscan's\n", stderr);
        return 2;
    }
    SilentSink silent;
    const velscan::ScopedMessageSink quiet(silent);
    velscan::live::Follower follower(std::move(*start), stderr);
    follower.Begin();
    InputWatch input;
    const auto poll = [&] {
        if (input.Sampling()) follower.SamplingStarts();
        follower.Poll();
    };
    while (!input.WaitForEnd(kPollSpacing)) poll();
    if (input.Sampling()) follower.SamplingStarts();
    follower.End(input.End());
    return 0;
}
