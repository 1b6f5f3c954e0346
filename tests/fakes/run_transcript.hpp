#pragma once
// What a run writes: the table's heading and the documented lines of standard
// error, shared by the unit tests of the run and the black-box tests.

#include <filesystem>
#include <string>

namespace velscan::transcript {

inline constexpr char kHeader[] =
    "Distance(inches)\tRaw Range(bits)\tAmplitude\tTemp(F)\tAngle1(radins)\tAngle2(radins\t"
    "Index1\tIndex2\t";

inline constexpr char kUpToSampling[] =
    "Opened high speed interface.\n"
    "VEAX Card Calibration\n"
    "SamplingModeInit\n"
    "Waiting (20 sec.) for mirror to move\n"
    "Clear Sample Buffer\n"
    "Sampling Enable\n"
    "Begin sampling\n";

// Standard error of a run whose line loop ended normally.
inline std::string Finished(int counter, const std::string& warning = "") {
    return std::string(kUpToSampling) + "End sampling\nSampling Lines counter: " +
           std::to_string(counter) + "\n" + warning + "Saving Data,Please Waiting\n";
}

// The line after "ERROR: Could not read calibration file": the lookup file of
// the working directory `directory`, and why it was refused (the path joined
// as the system joins it).
inline std::string LookupCause(const std::string& directory, const std::string& why) {
    return "Cause: the lookup file " + (std::filesystem::path(directory) / "LOOKUPHS").string() +
           " cannot be used: " + why + "\n";
}

// The run's last line after a table was saved.
inline std::string Saved(int lines, const std::string& name) {
    return "Saved " + std::to_string(lines) + (lines == 1 ? " line" : " lines") + " to " + name +
           "\n";
}

}  // namespace velscan::transcript
