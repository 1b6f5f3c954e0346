#pragma once
// The names of the files that stand beside a table or a capture.

#include <string>

namespace velscan {

// The metadata file of a table or capture: its name with ".json" appended.
inline std::string MetadataFileName(const std::string& described) { return described + ".json"; }

// The raw capture a run keeps beside its table unless told otherwise: the
// table's name with ".capture" appended.
inline std::string CaptureFileName(const std::string& table) { return table + ".capture"; }

// Beside a table T: the live page T.live.html, the data script it loads
// again and again T.live.js and the picture of the lines so far T.live.png.
inline std::string LivePageName(const std::string& table) { return table + ".live.html"; }
inline std::string LiveScriptName(const std::string& table) { return table + ".live.js"; }
inline std::string LivePictureName(const std::string& table) { return table + ".live.png"; }

// Beside a table T, written at the end of the run: the range picture T.png
// and the viewer T.html of the finished table.
inline std::string PictureFileName(const std::string& table) { return table + ".png"; }
inline std::string ViewerFileName(const std::string& table) { return table + ".html"; }

}  // namespace velscan
