#include "acquisition/run_console.hpp"

#include <cstdarg>

namespace velscan {

void RunConsole::Error(const char* text) {
    status_.Clear();
    std::fputs(text, err_);
}

void RunConsole::Output(const char* text) {
    status_.Clear();
    std::fputs(text, out_);
    std::fflush(out_);
}

void RunConsole::ErrorFormat(const char* format, ...) {
    status_.Clear();
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(err_, format, arguments);
    va_end(arguments);
}

}  // namespace velscan
