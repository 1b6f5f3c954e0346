#pragma once
// The text Windows gives for an error code, for the Win32 implementations.
#include <windows.h>

#include <string>

namespace velscan::platform {

// FormatMessageA's text for `code` without its line end; the number when
// Windows has no text for it.
inline std::string Win32ErrorText(DWORD code) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    if (message.empty()) message = "error " + std::to_string(code);
    return message;
}

}  // namespace velscan::platform
