# Helpers shared by every folder: one to add a layer's static library, one to add a test.

# sd_add_layer(<name> SOURCES <files...> DEPS <targets...>)
function(sd_add_layer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# sd_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [NEEDS_LIBRARY])
# Builds one GoogleTest program and registers each of its tests with CTest. NEEDS_LIBRARY: the program
# loads the shared library (its path is SD_TEST_LIBRARY) or runs the tools in SD_TEST_BIN_DIR.
function(sd_add_test name)
  cmake_parse_arguments(ARG "NEEDS_LIBRARY" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include
                                             ${PROJECT_SOURCE_DIR}/tests)
  # The test support (tests/support) is built on the platform layer.
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} sd_test_support sd_platform GTest::gtest GTest::gtest_main
                                        Threads::Threads)
  target_compile_definitions(${name} PRIVATE SD_TEST_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}"
                                             SD_TEST_EXE_SUFFIX="${CMAKE_EXECUTABLE_SUFFIX}")
  if(ARG_NEEDS_LIBRARY)
    target_compile_definitions(${name} PRIVATE SD_TEST_LIBRARY="$<TARGET_FILE:smartdriver>")
    add_dependencies(${name} smartdriver)
  endif()
  # An empty LABELS value would make "TIMEOUT" the label and leave the test without its limit.
  set(properties TIMEOUT 120)
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  # A cross build lists its tests when ctest runs them, not when it links them, so that the build itself
  # never needs to run a Windows program.
  set(discovery)
  if(CMAKE_CROSSCOMPILING)
    set(discovery DISCOVERY_MODE PRE_TEST)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${discovery} PROPERTIES ${properties})
endfunction()
