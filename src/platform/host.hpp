#pragma once
// Which operating system this build runs on, for choices that differ by host
// (default devices, the advice printed after a failed open).

namespace velscan::platform {

enum class Host { Windows, Posix };
#ifdef _WIN32
inline constexpr Host kThisHost = Host::Windows;
#else
inline constexpr Host kThisHost = Host::Posix;
#endif

}  // namespace velscan::platform
