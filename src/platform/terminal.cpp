#include "platform/terminal.hpp"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace velscan::platform {

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    // _isatty is true for any character device (NUL too); a console answers
    // GetConsoleMode.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace velscan::platform
