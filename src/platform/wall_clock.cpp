#include <cstdio>

#include "platform/system_facts.hpp"

namespace velscan::platform {

std::chrono::system_clock::time_point WallClockNow() { return std::chrono::system_clock::now(); }

std::string UtcTimestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    // The calendar arithmetic of <chrono>: the same on every system, and
    // times before 1970 round down to the millisecond as after it.
    const auto milliseconds = floor<std::chrono::milliseconds>(time);
    const auto day = floor<days>(milliseconds);
    const year_month_day date{day};
    const hh_mm_ss<std::chrono::milliseconds> clock{milliseconds - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()),
                  static_cast<int>(clock.subseconds().count()));
    return text;
}

}  // namespace velscan::platform
