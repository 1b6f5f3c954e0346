#pragma once
// The conversion's messages (the lookup loader's warnings, a fine value beyond
// the last band) through the run's console, which clears the status line
// before each of them.

#include "acquisition/run_console.hpp"
#include "conversion/message_sink.hpp"

namespace velscan {

class ConsoleMessageSink final : public MessageSink {
public:
    explicit ConsoleMessageSink(RunConsole& console) : console_(console) {}

    void Print(MessageStream stream, const char* text) override {
        if (stream == MessageStream::Output) {
            console_.Output(text);
        } else {
            console_.Error(text);
        }
    }

private:
    RunConsole& console_;
};

}  // namespace velscan
