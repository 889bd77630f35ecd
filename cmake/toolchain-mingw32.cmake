# Cross build for 32-bit Windows with MinGW-w64 (i686, posix thread model: the win32 model of this GCC
# has no std::thread). Programs of the build run under Wine through scripts/wine-run-win32.sh.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SD_MINGW_PREFIX i686-w64-mingw32)
set(SD_WINE_RUN wine-run-win32.sh)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
