# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (POSIX threads),
# the test programs run under Wine. Libraries that Debian has no mingw
# package of (jansson, GoogleTest) are found in CHORDWRIGHT_WINDOWS_PREFIX,
# where scripts/windows-deps.sh installs them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

set(CHORDWRIGHT_WINDOWS_PREFIX "" CACHE PATH "Cross-built libraries (scripts/windows-deps.sh)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CHORDWRIGHT_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CHORDWRIGHT_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
