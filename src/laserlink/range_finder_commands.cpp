#include "laserlink/range_finder_commands.hpp"

#include <charconv>

#include "platform/backend.hpp"

namespace velscan {

namespace {

std::string FormatCommand(char letter, long value) {
    char text[32];
    text[0] = letter;
    const auto end = std::to_chars(text + 1, text + sizeof(text) - 1, value).ptr;
    *end = kNumberCommandEnd;
    return std::string(text, end + 1);
}

}  // namespace

std::string FormatSamplePeriodCommand(long samplePeriod) {
    return FormatCommand(kSamplePeriodCommand, samplePeriod);
}

std::string FormatMaxRangeCommand(long maxRange) { return FormatCommand(kMaxRangeCommand, maxRange); }

void SendRangeFinderConfiguration(SerialLink& link, long samplePeriod, long maxRange) {
    SerialLinkPurge(link, platform::kPurgeAll);
    platform::Pause(kCommandPauseMs);
    SerialLinkSend(link, kDataFormatCommand);
    platform::Pause(kCommandPauseMs);
    SerialLinkSend(link, FormatSamplePeriodCommand(samplePeriod).c_str());
    platform::Pause(kCommandPauseMs);
    SerialLinkSend(link, FormatMaxRangeCommand(maxRange).c_str());
}

}  // namespace velscan
