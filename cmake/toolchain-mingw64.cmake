# Cross build for 64-bit Windows with MinGW-w64 (x86_64, posix thread model, as the 32-bit build). It
# carries the portable suite under 64-bit Wine on machines that cannot run 32-bit x86 programs; the
# shipped DLL is the 32-bit one (cmake/toolchain-mingw32.cmake). Its programs run under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SD_MINGW_PREFIX x86_64-w64-mingw32)
set(SD_WINE_RUN wine-run-win64.sh)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
