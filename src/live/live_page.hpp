#pragma once
// The live page beside a table T (T.live.html) and the data script it loads
// again every second (T.live.js). The page is written once; it adds a
// new <script> for T.live.js with a fresh query string every second and
// a new picture when the script names a newer one, which a browser does from
// a file:// page with no server and no network request. Untrusted text (file
// names, the failure line) reaches the page only as JSON strings put into
// the document as text, never as markup.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scanfile/line_figures.hpp"

namespace velscan::live {

// What the page shows now.
struct LiveState {
    std::string table;        // the table's name as velscan was given it
    std::int32_t linesDone = 0;
    std::int32_t linesAsked = 0;
    std::optional<double> secondsLeft;
    // "mirror" (run-up), "recording", "complete", "stopped", "failed",
    // "lost" (velscan ended without saying how).
    std::string state = "mirror";
    std::string message;      // a sentence on the state, for the operator
    std::string picture;      // file name of the picture shown, beside the page; empty: none yet
    std::uint64_t pictureVersion = 0;  // a newer picture is loaded when this grows
    std::string finishedPicture;       // T.png's file name, once written
    std::string finishedViewer;        // T.html's file name, once written
    std::string recovery;     // the command that recovers the scan, when it was lost
    std::vector<LineFigures> figures;  // of the lines done, in order
};

// The page for table `table` (whose file names are those of file_names.hpp).
std::string LivePageText(const std::string& table);

// The data script: one call of the page's velscanLive() with the state.
std::string LiveScriptText(const LiveState& state);

}  // namespace velscan::live
