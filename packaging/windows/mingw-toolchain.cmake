# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (POSIX threads flavour, GCC 12).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# Libraries cross-built into the cache (SBX_WINDOWS_PREFIXES, ;-separated) are searched
# before the MinGW system root; build-machine programs (moc, rcc) are found on the host.
set(CMAKE_FIND_ROOT_PATH ${SBX_WINDOWS_PREFIXES} /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SBX_WINDOWS_PREFIXES)
