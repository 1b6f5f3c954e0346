#include "platform/console_keys.hpp"

namespace velscan::platform {

int ReadKeystroke(const std::function<int()>& readCode) {
    const int code = readCode();
    if (code != 0 && code != 0xE0) return code;
    return kExtendedKeyFlag | (readCode() & 0xFF);
}

}  // namespace velscan::platform
