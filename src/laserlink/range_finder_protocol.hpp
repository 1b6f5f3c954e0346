#pragma once
// The range finder's command set, shared by the serial link that sends it and
// the simulated range finder that obeys it: "I" (greeting), "DA1T2X3" (data
// format), "S<n>\n" (sample period in microseconds) and "F<n>\n" (maximum
// range in inches), n in decimal with a minus sign for negatives. Also the
// period and range the program configures unless told otherwise.

#include <cstdint>
#include <string_view>

namespace velscan {

inline constexpr const char* kGreetingCommand = "I";
inline constexpr const char* kDataFormatCommand = "DA1T2X3";
inline constexpr char kSamplePeriodCommand = 'S';
inline constexpr char kMaxRangeCommand = 'F';
inline constexpr char kNumberCommandEnd = '\n';

inline constexpr std::int32_t kDefaultSamplePeriodUs = 20;
inline constexpr std::int32_t kDefaultMaxRangeInches = 650;

}  // namespace velscan
