#pragma once
// An instrument profile: a small JSON document that holds the zero offsets
// of one instrument, so that they are given once rather than typed on every
// export. velscan reads it at scan time (VELSCAN_PROFILE) and records it in
// the table's metadata file; velscan-export reads it from there, or from
// --profile.
//
//   {
//     "format": { "name": "velscan-instrument-profile", "version": 1 },
//     "mirrorOffset": 0.0123,   (radians: the mirror angle of the horizontal beam)
//     "slowOffset": -0.004      (radians: the slow-axis angle of the x axis)
//   }
//
// Both offsets are required, finite numbers. Members this version does not
// know are ignored, so a later addition (an instrument's name, its serial
// number) reads here as before; a change of meaning takes a new version,
// which this program refuses.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velscan {

inline constexpr const char* kProfileFormatName = "velscan-instrument-profile";
inline constexpr int kProfileFormatVersion = 1;
// A profile is a few hundred bytes; anything much larger is not one.
inline constexpr std::uintmax_t kMaxProfileBytes = 64 * 1024;

struct InstrumentProfile {
    std::string name;    // the file's name as given
    std::string sha256;  // of the file's bytes, lower-case hex
    double mirrorOffset = 0.0;
    double slowOffset = 0.0;
};

// A profile read, or why not, in words that follow the file's name ("is not
// a JSON document", "cannot be read: no such file or directory").
struct ProfileReading {
    std::optional<InstrumentProfile> profile;
    std::string problem;  // empty when `profile` is there
};

// The document's text; name and digest are left empty.
ProfileReading ReadProfileText(std::string_view text);

// The file at `path`, read whole (a regular file of at most kMaxProfileBytes).
ProfileReading ReadProfileFile(const std::string& path);

}  // namespace velscan
