# Install rules: headers under include/mcjobs, the static library, the tools,
# an exported CMake package (mcjobs::mcjobs) with a version file, and mcjobs.pc.
include(CMakePackageConfigHelpers)

set(MCJOBS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mcjobs)

install(TARGETS mcjobs EXPORT mcjobs-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mcjobs)

install(EXPORT mcjobs-targets NAMESPACE mcjobs:: DESTINATION ${MCJOBS_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/mcjobs-config.cmake.in
  ${PROJECT_BINARY_DIR}/mcjobs-config.cmake
  INSTALL_DESTINATION ${MCJOBS_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mcjobs-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mcjobs-config.cmake ${PROJECT_BINARY_DIR}/mcjobs-config-version.cmake
  DESTINATION ${MCJOBS_CMAKE_DIR})

# The .pc file finds its prefix from its own location, so an installed tree
# can be moved (or installed with --prefix) and still be found.
file(RELATIVE_PATH MCJOBS_PC_TO_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" MCJOBS_PC_TO_PREFIX "${MCJOBS_PC_TO_PREFIX}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(MCJOBS_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(MCJOBS_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(MCJOBS_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(MCJOBS_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/mcjobs.pc.in ${PROJECT_BINARY_DIR}/mcjobs.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/mcjobs.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(MCJOBS_BUILD_TOOLS)
  install(TARGETS dilateJobs RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
