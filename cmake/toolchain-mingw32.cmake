# Cross build for 32-bit Windows with MinGW-w64 (i686, posix thread model: the win32 model of this GCC
# has no std::thread). Programs of the build run under Wine through scripts/wine-run-win32.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SD_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SD_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SD_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SD_MINGW_PREFIX}-windres)
set(CMAKE_ASM_COMPILER ${SD_MINGW_PREFIX}-gcc-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${SD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program of the build (tests, tools, GoogleTest's discovery) runs under the build tree's own Wine
# prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run-win32.sh)
