# What the two MinGW-w64 cross builds share: the posix thread model's compilers of the prefix that the
# toolchain file sets (SD_MINGW_PREFIX), libraries and headers from that prefix's root only, and every
# program of the build (tests, tools, GoogleTest's discovery) run under the build tree's own Wine prefix
# through the toolchain's script (SD_WINE_RUN).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${SD_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SD_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SD_MINGW_PREFIX}-windres)
set(CMAKE_ASM_COMPILER ${SD_MINGW_PREFIX}-gcc-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${SD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/${SD_WINE_RUN})
