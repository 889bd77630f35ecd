# Builds the tiny host project against an installed package and runs it, once through the CMake package
# and once through pkg-config. With BUILD_DIR, installs that build into WORK_DIR/prefix first; otherwise
# uses the package installed under PREFIX (for example /usr after installing the .deb).
#   cmake -DBUILD_DIR=build -DWORK_DIR=/tmp/x -DPROJECT_DIR=tests/package/host_project -P out_of_tree_test.cmake
#   cmake -DPREFIX=/usr -DWORK_DIR=/tmp/x -DPROJECT_DIR=tests/package/host_project -P out_of_tree_test.cmake
# FLAGS: extra compiler and linker flags for the host (the sanitizers of an instrumented build).
cmake_minimum_required(VERSION 3.20)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# The host's output must show the version, the blank record, the failure of the operation whose server
# port (1 on loopback) refuses the connection as a communication failure, and a wallet refused as such.
function(check_host_output label out)
  foreach(expected "version v1.9Vantrel 5121, blank card flag 255 amount 1000"
                   "discount: code 7 (communication), message Ошибка связи с сервером: Socket Error # 10061"
                   "card-info 256: code 4 (argument), message wallet 256 is outside 0..255")
    string(FIND "${out}" "${expected}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${label}: missing \"${expected}\" in:\n${out}")
    endif()
  endforeach()
  message(STATUS "${label}: ${out}")
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/drive_c/ZEMO)
file(WRITE ${WORK_DIR}/drive_c/ZEMO/Kestmark.INI
     "[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=1\r\nbWaitTimeOut=2000\r\nbEnableLog=0\r\n")
if(BUILD_DIR)
  set(PREFIX ${WORK_DIR}/prefix)
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
  file(GLOB_RECURSE found ${PREFIX}/*.a)
  if(found)
    message(FATAL_ERROR "a layer's static library was installed: ${found}")
  endif()
endif()

set(flags "")
if(FLAGS)
  set(flags "-DCMAKE_C_FLAGS=${FLAGS}" "-DCMAKE_CXX_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
endif()
run(${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${PREFIX} ${flags})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${CMAKE_COMMAND} -E env SMARTDRIVER_DRIVE_C=${WORK_DIR}/drive_c ${WORK_DIR}/build/tiny_host)
check_host_output("CMake package" "${out}")
# Without a log folder the driver's start-up fails: the host gets the message, the library goes away.
file(MAKE_DIRECTORY ${WORK_DIR}/no_log_folder)
execute_process(COMMAND ${CMAKE_COMMAND} -E env SMARTDRIVER_DRIVE_C=${WORK_DIR}/no_log_folder
                        ${WORK_DIR}/build/tiny_host RESULT_VARIABLE status ERROR_VARIABLE out)
if(NOT status EQUAL 1 OR NOT out STREQUAL "tiny_host: I/O error 3\n")
  message(FATAL_ERROR "a failed start-up gave status ${status} and: ${out}")
endif()
run(${WORK_DIR}/build/tiny_sdk_check)

# The same C host through pkg-config, with the driver's path that the .pc file names.
find_program(PKG_CONFIG pkg-config)
find_program(CC cc)
if(PKG_CONFIG AND CC)
  file(GLOB pc_file ${PREFIX}/lib*/pkgconfig/smartdriver-c.pc ${PREFIX}/lib/*/pkgconfig/smartdriver-c.pc)
  list(GET pc_file 0 pc_file)
  get_filename_component(pc_dir ${pc_file} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  run(${PKG_CONFIG} --cflags --libs smartdriver-c)
  separate_arguments(pc_flags UNIX_COMMAND "${out}")
  run(${PKG_CONFIG} --variable=libdir smartdriver-c)
  string(STRIP "${out}" libdir)
  run(${PKG_CONFIG} --variable=driver smartdriver-c)
  string(STRIP "${out}" driver)
  separate_arguments(extra UNIX_COMMAND "${FLAGS}")
  run(${CC} ${extra} ${PROJECT_DIR}/host.c -o ${WORK_DIR}/pc_host "-DSD_DRIVER_PATH=\"${driver}\"" ${pc_flags}
      -Wl,-rpath,${libdir})
  run(${CMAKE_COMMAND} -E env SMARTDRIVER_DRIVE_C=${WORK_DIR}/drive_c ${WORK_DIR}/pc_host)
  check_host_output("pkg-config" "${out}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
