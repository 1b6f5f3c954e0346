#include "conversion/message_sink.hpp"

#include <cstdio>

namespace velscan {

namespace {

class StandardStreams final : public MessageSink {
public:
    void Print(MessageStream stream, const char* text) override {
        if (stream == MessageStream::Output) {
            std::fputs(text, stdout);
            std::fflush(stdout);
        } else {
            std::fputs(text, stderr);
        }
    }
};

// The conversion runs on the run's one thread; the sink is set around it.
MessageSink* gCurrent = nullptr;

}  // namespace

MessageSink& StandardStreamsSink() {
    static StandardStreams sink;
    return sink;
}

MessageSink& CurrentMessageSink() { return gCurrent != nullptr ? *gCurrent : StandardStreamsSink(); }

ScopedMessageSink::ScopedMessageSink(MessageSink& sink) : previous_(gCurrent) { gCurrent = &sink; }

ScopedMessageSink::~ScopedMessageSink() { gCurrent = previous_; }

}  // namespace velscan
