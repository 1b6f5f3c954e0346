#pragma once
// Where the conversion's console messages go. The conversion prints nothing
// itself: the lookup loader's warnings and the fine value beyond the last band
// reach a message sink. The default sink writes to standard output and
// standard error at once; the run installs one that writes through its own
// console, which clears the status line first.

namespace velscan {

enum class MessageStream { Output, Error };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // One whole message, line break included.
    virtual void Print(MessageStream stream, const char* text) = 0;
};

// Writes to stdout (flushed at once, so the two streams keep their order when
// they share a file) and stderr.
MessageSink& StandardStreamsSink();

// The sink that takes the conversion's messages now; the standard streams
// unless one was installed.
MessageSink& CurrentMessageSink();

// Installs `sink` for its lifetime and restores the one before it.
class ScopedMessageSink {
public:
    explicit ScopedMessageSink(MessageSink& sink);
    ScopedMessageSink(const ScopedMessageSink&) = delete;
    ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;
    ~ScopedMessageSink();

private:
    MessageSink* previous_;
};

}  // namespace velscan
