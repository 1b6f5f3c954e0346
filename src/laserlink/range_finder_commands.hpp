#pragma once
// Sending the range finder its commands (range_finder_protocol.hpp). No answer
// is ever read; the program relies on fixed pauses between commands.

#include <cstdint>
#include <string>

#include "laserlink/range_finder_protocol.hpp"
#include "laserlink/serial_link.hpp"

namespace velscan {

inline constexpr std::uint32_t kCommandPauseMs = 200;

// "S%ld\n" and "F%ld\n": decimal, minus sign for negatives, one line feed.
std::string FormatSamplePeriodCommand(long samplePeriod);
std::string FormatMaxRangeCommand(long maxRange);

// Purge, 200 ms, "DA1T2X3", 200 ms, "S<period>\n", 200 ms, "F<range>\n".
// The results of the purge and the sends are not looked at.
void SendRangeFinderConfiguration(SerialLink& link, long samplePeriod, long maxRange);

}  // namespace velscan
