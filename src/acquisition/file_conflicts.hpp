#pragma once
// The files a run writes (the output table, the capture, the trace, and the
// metadata files NAME.json beside the table and the capture) must be
// different files from each other and from the files it reads (the lookup
// file, the scene, the replay), compared as files, not names, and checked
// before anything is created: no file the operator did not name as output is
// ever overwritten, and a refused start leaves nothing behind.

#include <optional>
#include <string>

namespace velscan {

struct RunFiles {
    std::string output;   // the table's target
    std::string capture;  // VELSCAN_CAPTURE, or the default beside the table; empty: none
    bool captureByDefault = false;  // `capture` is the default TABLE.capture
    std::string trace;    // VELSCAN_TRACE; empty: none
    std::string lookup;   // the lookup file read by the run
    std::string scene;    // VELSCAN_SIM_SCENE; empty: none
    std::string replay;   // the file of VELSCAN_CARD=replay:PATH; empty: none
};

// Nullopt when the run may go ahead; otherwise one complete "Error: ...\n"
// line naming the two settings that are the same file. Whether the capture
// and the trace can be created is checked where the backend is planned.
std::optional<std::string> CheckRunFiles(const RunFiles& files);

}  // namespace velscan
