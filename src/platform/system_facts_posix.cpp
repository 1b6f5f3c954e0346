#include <sys/utsname.h>

#include "platform/system_facts.hpp"

namespace velscan::platform {

std::string SystemDescription() {
    utsname names{};
    if (uname(&names) != 0) return {};
    return std::string(names.sysname) + " " + names.release + " " + names.machine;
}

}  // namespace velscan::platform
