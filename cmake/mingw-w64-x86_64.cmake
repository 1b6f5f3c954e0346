# Cross build for 64-bit Windows with the MinGW-w64 compilers of the POSIX
# thread model (std::thread and friends need it). The program is linked
# statically, so it runs without the compiler's runtime libraries beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELSCAN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELSCAN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELSCAN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELSCAN_MINGW_PREFIX}-windres)

# Headers and libraries come from the MinGW-w64 tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELSCAN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine's 64-bit loader, called directly (the `wine`
# wrapper may pick a 32-bit loader or print hints). ctest and test discovery
# prefix every .exe with it. Give -DCMAKE_CROSSCOMPILING_EMULATOR=... to use
# another one; it stays empty when no Wine is installed (the build still works).
if(NOT DEFINED CACHE{CMAKE_CROSSCOMPILING_EMULATOR})
  find_program(VELSCAN_WINE64 NAMES wine64
    PATHS /usr/lib/wine /usr/lib64/wine /usr/lib/x86_64-linux-gnu/wine /opt/wine-stable/bin
    NO_CMAKE_FIND_ROOT_PATH)
  if(VELSCAN_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${VELSCAN_WINE64}" CACHE STRING
        "Runs the Windows test programs on this host")
  endif()
endif()
