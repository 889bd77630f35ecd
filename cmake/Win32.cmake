# The Windows build's own parts: GoogleTest compiled from Debian's sources, the MinGW-w64 runtime DLLs
# that the driver and its host share (stripped, beside the programs), and the driver's plain export.

# Windows 7 and later; newer functions (thread names) are looked up at run time.
add_compile_definitions(_WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)

# GoogleTest as part of this build: there is no prebuilt GoogleTest for the cross compiler.
if(SD_BUILD_TESTS)
  set(SD_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources for the cross build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${SD_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The test programs cannot run before the runtime DLLs stand beside them, so their tests are listed
  # when ctest runs rather than after each link.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

# C++ exceptions cross the boundary between the driver and its host only when both use these DLLs.
# GCC's own runtime is named after its unwinder: DWARF-2 on i686, the system's table-based one on x86_64.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SD_WIN32_GCC_RUNTIME libgcc_s_seh-1.dll)
else()
  set(SD_WIN32_GCC_RUNTIME libgcc_s_dw2-1.dll)
endif()
set(SD_WIN32_RUNTIME_DLLS libstdc++-6.dll ${SD_WIN32_GCC_RUNTIME} libwinpthread-1.dll)
find_program(SD_MINGW_STRIP NAMES ${SD_MINGW_PREFIX}-strip REQUIRED)
set(SD_WIN32_RUNTIME_COPIES)
foreach(dll ${SD_WIN32_RUNTIME_DLLS})
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE source OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${source}" OR NOT EXISTS "${source}")
    message(FATAL_ERROR "The compiler's runtime has no ${dll}")
  endif()
  set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dll})
  add_custom_command(OUTPUT ${copy} DEPENDS ${source}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
                     COMMAND ${SD_MINGW_STRIP} --strip-unneeded -o ${copy} ${source}
                     COMMENT "Stripped runtime ${dll}")
  list(APPEND SD_WIN32_RUNTIME_COPIES ${copy})
endforeach()
add_custom_target(sd_win32_runtime ALL DEPENDS ${SD_WIN32_RUNTIME_COPIES})

# Called once the driver's target exists: the DLL is named smartdriver.dll and exports only GeTDriver,
# undecorated, as its module definition says.
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
  target_sources(${target} PRIVATE ${def})
  target_link_options(${target} PRIVATE -Wl,--kill-at)
  add_dependencies(${target} sd_win32_runtime)
  # The settings dialog's up-down control and the host's windows and menus.
  target_link_libraries(${target} PRIVATE comctl32 user32 gdi32)
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
