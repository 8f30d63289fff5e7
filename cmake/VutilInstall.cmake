# Installs the shared library, the public headers, the tool, a pkg-config file
# and a CMake package, so that callers can use either.
include(CMakePackageConfigHelpers)

install(TARGETS vutil EXPORT vutilTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

install(EXPORT vutilTargets NAMESPACE vutil:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vutil)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vutilConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vutilConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vutil)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vutilConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vutilConfig.cmake ${PROJECT_BINARY_DIR}/vutilConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vutil)

configure_file(${PROJECT_SOURCE_DIR}/cmake/vutil.pc.in ${PROJECT_BINARY_DIR}/vutil.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vutil.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
