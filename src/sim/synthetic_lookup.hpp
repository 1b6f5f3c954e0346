#pragma once
// The synthetic lookup file shipped as examples/LOOKUPHS, so the simulated
// instrument has a distance calibration to run against.
//
// Model: 63 calibration columns 10.75 inches apart (0 to 666.5 inches), taken
// at temperatures close to 70 F. The raw range of a column rises 900 bits per
// inch (averaging count 128) from a zero-distance delay of 4200 bits, with a
// slight cubic bow, plus an amplitude-dependent walk: weak echoes trigger late,
// by up to about 2640 bits at amplitude 0, growing slowly with distance. The
// scale keeps coarse counts within 18 bits for every range up to the last
// column. Nine small correction coefficients and a sample-rate offset of 6.5.

#include <string>

namespace velscan::sim {

inline constexpr int kSyntheticColumns = 63;
inline constexpr double kSyntheticColumnSpacing = 10.75;
inline constexpr double kSyntheticBitsPerInch = 900.0;
inline constexpr double kSyntheticZeroDelay = 4200.0;
inline constexpr double kSyntheticSampleRateOffset = 6.5;

// Raw range (averaging count 128) of a column distance for an amplitude byte.
double SyntheticRawRange(double distance, int amplitude);

// The whole file text, byte for byte as committed in examples/LOOKUPHS.
std::string SyntheticLookupText();

}  // namespace velscan::sim
