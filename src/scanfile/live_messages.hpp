#pragma once
// What velscan tells the follower that draws the live page (velscan-live),
// one JSON line each on the follower's standard input: the scan's facts
// before the mirror's run-up, that sampling starts (the capture is in place
// from then on: before, a file of its name may still be an earlier scan's),
// and, once the table and the metadata files are in place, how the scan
// ended. An input that ends without the second line
// means velscan itself ended without saying so (killed, crashed).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scanfile/scan_metadata.hpp"

namespace velscan {

struct LiveStart {
    std::string table;                    // as velscan was given it
    std::optional<std::string> capture;   // null: no capture to follow
    std::int32_t linesAsked = 0;
    std::uint64_t samplingStartsAtRecord = 0;  // the capture's first record of the first line
    bool live = true;                     // the live page (VELSCAN_LIVE)
    bool pictures = true;                 // the finished table's picture and viewer (VELSCAN_PICTURES)
    ScanFacts facts;                      // as they stand before the mirror's run-up
};

// How the scan ended: "complete", "stopped" or "failed".
struct LiveEnd {
    std::string how;
    std::optional<std::string> message;    // the failure line
    std::optional<std::int32_t> linesSaved;  // null: no table was saved
};

// One line each, ending in "\n".
std::string LiveStartLine(const LiveStart& start);
std::string LiveSamplingLine();
std::string LiveEndLine(const LiveEnd& end);

// A line read back; nullopt when it is not that message.
std::optional<LiveStart> ReadLiveStart(std::string_view line);
std::optional<LiveEnd> ReadLiveEnd(std::string_view line);
bool IsLiveSampling(std::string_view line);

}  // namespace velscan
