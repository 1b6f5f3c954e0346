#include "acquisition/run_console.hpp"

#include <cstdarg>
#include <string_view>
#include <vector>

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
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (length < 0) {
        std::vfprintf(err_, format, again);  // the text cannot be kept; it is printed all the same
    } else {
        std::vector<char> text(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        std::fputs(text.data(), err_);
    }
    va_end(again);
}

}  // namespace velscan
