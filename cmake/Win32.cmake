# The Windows build's own parts: GoogleTest compiled from Debian's sources, the runtime linked into every
# program and library, and the driver DLL's export, version resource and stripping.

# Windows 7 and later; newer functions (thread names) are looked up at run time.
add_compile_definitions(_WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)

# GoogleTest as part of this build: there is no prebuilt GoogleTest for the cross compiler.
if(SD_BUILD_TESTS)
  set(SD_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources for the cross build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${SD_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Listing a test program's tests takes a Wine start each; they are listed when ctest runs, not after
  # each link.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

# Every program and library of the Windows build carries its C++ runtime and winpthread inside: a till
# loads smartdriver.dll from any folder with nothing beside it, and no other program's runtime DLLs can
# come between. The driver's failures then reach every host as the structured exception of
# smartdriver/refusal.h.
add_link_options(-static -static-libgcc -static-libstdc++)
enable_language(RC)
find_program(SD_MINGW_OBJCOPY NAMES ${SD_MINGW_PREFIX}-objcopy REQUIRED)

# Called once the driver's target exists: the DLL is named smartdriver.dll and exports only GeTDriver,
# undecorated, as its module definition says. It carries a version resource and ships stripped; its
# debug information goes into smartdriver.dll.debug beside it, which a debugger finds by the DLL's link.
function(sd_win32_driver_library target)
  set_target_properties(${target} PROPERTIES PREFIX "")
  set(def ${PROJECT_SOURCE_DIR}/platform/win32/smartdriver.def)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # x86-64 has one calling convention and no @4 to take off: the export keeps the compiler's name.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    file(READ ${def} text)
    string(REPLACE " = GeTDriver@4" "" text "${text}")
    set(def ${CMAKE_CURRENT_BINARY_DIR}/smartdriver.def)
    file(WRITE ${def} "${text}")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/platform/win32/smartdriver.rc.in ${CMAKE_CURRENT_BINARY_DIR}/smartdriver.rc
                 @ONLY)
  target_sources(${target} PRIVATE ${def} ${CMAKE_CURRENT_BINARY_DIR}/smartdriver.rc)
  target_link_options(${target} PRIVATE -Wl,--kill-at)
  # The settings dialog's up-down control and the host's windows and menus.
  target_link_libraries(${target} PRIVATE comctl32 user32 gdi32)
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ${SD_MINGW_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
                             $<TARGET_FILE_NAME:${target}>.debug
                     COMMAND ${SD_MINGW_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
                             $<TARGET_FILE_NAME:${target}>
                     WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
                     COMMENT "The DLL stripped, its debug information kept apart"
                     VERBATIM)
endfunction()

# A program marked ENABLE_EXPORTS lends its host interface by exporting SmartDriverHostUi; a PE program
# exports nothing that is not named, so such a program exports its symbols as a DLL would.
set(CMAKE_EXE_EXPORTS_CXX_FLAG "-Wl,--export-all-symbols")

# The tools' output reaches scripts and tests as on POSIX, line breaks unchanged; the targets exist once
# the whole tree is read.
function(sd_win32_binary_output)
  foreach(tool IN ITEMS smartdriver-host smartdriver-emulator smartdriver-log)
    if(TARGET ${tool})
      target_sources(${tool} PRIVATE ${PROJECT_SOURCE_DIR}/tools/binary_output_win32.cpp)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL sd_win32_binary_output)
