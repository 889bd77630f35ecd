# Cross build for 64-bit Windows with MinGW-w64 (x86_64, posix thread model, as the 32-bit build). It
# carries the portable suite under 64-bit Wine on machines that cannot run 32-bit x86 programs; the
# shipped DLL is the 32-bit one (cmake/toolchain-mingw32.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SD_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SD_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SD_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SD_MINGW_PREFIX}-windres)
set(CMAKE_ASM_COMPILER ${SD_MINGW_PREFIX}-gcc-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${SD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program of the build runs under the build tree's own 64-bit Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run-win64.sh)
