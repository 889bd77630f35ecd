# What `cmake --install` and `cpack -G DEB` put where: the driver library, the C interface, the SDK
# headers, the tools, the Python module and the Wireshark dissector, with a CMake package (targets
# smartdriver::sdk, smartdriver::c, and smartdriver::driver for the path of the library a host loads)
# and pkg-config files. The layers' static libraries stay in the build tree.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SD_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/smartdriver)
set(SD_INSTALL_PYTHONDIR lib/python3/dist-packages CACHE STRING "Where the Python module goes, below the prefix")
# Wireshark loads the Lua files of its global plugin folder, which Debian keeps in the multiarch folder.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(sd_wireshark_dir lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)
else()
  set(sd_wireshark_dir ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins)
endif()
set(SD_INSTALL_WIRESHARKDIR ${sd_wireshark_dir} CACHE STRING "Where the Wireshark dissector goes, below the prefix")

# The SDK is headers only; C++20 because of the compile-time Windows-1251 literals.
add_library(smartdriver-sdk INTERFACE)
target_include_directories(smartdriver-sdk INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                                     $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(smartdriver-sdk INTERFACE cxx_std_20)
set_target_properties(smartdriver-sdk PROPERTIES EXPORT_NAME sdk)
# smartdriver::driver only names the file a host loads at run time; a host never links it.
set_target_properties(smartdriver PROPERTIES EXPORT_NAME driver)

install(TARGETS smartdriver smartdriver-c smartdriver-sdk EXPORT smartdriverTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(tool smartdriver-host smartdriver-emulator smartdriver-log)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(DIRECTORY include/smartdriver DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
install(DIRECTORY bindings/python/smartdriver DESTINATION ${SD_INSTALL_PYTHONDIR} FILES_MATCHING PATTERN "*.py")
# The Python package carries the project's version too; a release that bumps one must bump both.
file(STRINGS bindings/python/pyproject.toml sd_python_version REGEX "^version = ")
if(NOT sd_python_version STREQUAL "version = \"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "bindings/python/pyproject.toml says ${sd_python_version}, the project ${PROJECT_VERSION}")
endif()
file(GLOB sd_dissectors ${PROJECT_SOURCE_DIR}/tools/wireshark/*.lua)
install(FILES ${sd_dissectors} DESTINATION ${SD_INSTALL_WIRESHARKDIR})

install(EXPORT smartdriverTargets NAMESPACE smartdriver:: DESTINATION ${SD_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/smartdriverConfig.cmake.in ${PROJECT_BINARY_DIR}/smartdriverConfig.cmake
                              INSTALL_DESTINATION ${SD_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/smartdriverConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/smartdriverConfig.cmake ${PROJECT_BINARY_DIR}/smartdriverConfigVersion.cmake
        DESTINATION ${SD_INSTALL_CMAKEDIR})

# The pkg-config files find the prefix from where they lie, so that a moved tree still works.
file(RELATIVE_PATH SD_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" SD_PC_PREFIX "\${pcfiledir}/${SD_PC_PREFIX}")
foreach(pc smartdriver smartdriver-c)
  configure_file(cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# What Debian asks of a package: the copyright with the licence, a changelog, the description, a real
# maintainer (give yours with -DSD_PACKAGE_MAINTAINER="Name <address>"), the shlibs file and the ldconfig
# trigger.
set(SD_PACKAGE_MAINTAINER "smartdriver maintainers <maintainers@smartdriver.example>"
    CACHE STRING "The Debian package's maintainer, \"Name <address>\"")
set(sd_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/smartdriver)
string(TIMESTAMP SD_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
# The package is native (its version has no Debian revision), so its changelog is changelog.gz.
configure_file(cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/debian/changelog)
install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz cmake/debian/copyright DESTINATION ${sd_docdir})

set(CPACK_PACKAGE_NAME smartdriver)
set(CPACK_PACKAGE_VENDOR smartdriver)
set(CPACK_PACKAGE_CONTACT "${SD_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SD_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "card-terminal driver library for point-of-sale hosts")
# The extended description; CPack puts the summary above it and indents it as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A host program loads libsmartdriver.so and drives card operations against a
discount server and a cashless server over TCP: sale start, discount request,
sale cancel, cashless sale and return, card query. Every frame and result
goes to an operation log.

The package holds the library, its flat C interface (libsmartdriver-c) and
Python module, the C++ SDK headers, a CMake package and pkg-config files,
the tools smartdriver-host, smartdriver-emulator and smartdriver-log, and a
Wireshark dissector for the frames.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shlibs file and the ldconfig trigger are the package's own: CPack's would call ldconfig from the
# maintainer scripts, which Debian has replaced by the trigger.
configure_file(cmake/debian/shlibs.in ${PROJECT_BINARY_DIR}/debian/shlibs @ONLY)
file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/shlibs ${PROJECT_BINARY_DIR}/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3, wireshark")
include(CPack)
