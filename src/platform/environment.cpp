#include "platform/environment.hpp"

#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
extern char** environ;
#endif

namespace velscan::platform {

namespace {

// "NAME=value" without its value; an entry without '=' is all name.
std::string NameOf(std::string_view entry) { return std::string(entry.substr(0, entry.find('='))); }

}  // namespace

const char* EnvironmentValue(const char* name) { return std::getenv(name); }

#ifdef _WIN32

std::vector<std::string> EnvironmentNames() {
    std::vector<std::string> names;
    char* block = GetEnvironmentStringsA();
    if (block == nullptr) return names;
    for (const char* entry = block; *entry != '\0';) {
        const std::string_view text(entry);
        // Entries of the form "=C:=C:\..." hold the drives' folders, not variables.
        if (!text.starts_with("=")) names.push_back(NameOf(text));
        entry += text.size() + 1;
    }
    FreeEnvironmentStringsA(block);
    return names;
}

#else

std::vector<std::string> EnvironmentNames() {
    std::vector<std::string> names;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        names.push_back(NameOf(*entry));
    return names;
}

#endif

}  // namespace velscan::platform
