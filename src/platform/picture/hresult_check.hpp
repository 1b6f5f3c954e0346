#pragma once
// Turns a failed HRESULT into EncodeFailure naming the call and the reason.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/picture/png_encoder.hpp"
#include "platform/win32_error_text.hpp"

namespace velscan::picture {

inline void Check(HRESULT result, const char* call) {
    if (SUCCEEDED(result)) return;
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    throw EncodeFailure(std::string(call) + " failed: " +
                        platform::Win32ErrorText(static_cast<DWORD>(result)) + " (" + code + ")");
}

}  // namespace velscan::picture
