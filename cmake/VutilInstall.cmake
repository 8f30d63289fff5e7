# Installs the shared library, the public headers, the tool, a pkg-config file
# and a CMake package, so that callers can use either.
include(CMakePackageConfigHelpers)

# On Windows: vutil.dll in bin (beside the tool, where programs find it), its import library
# libvutil.dll.a and the static library libvutil.a in lib; a program of the static library links
# the host libraries of vutil_deps as well, so that the package finds Threads for it.
set(VUTIL_INSTALLED_TARGETS vutil)
set(VUTIL_PACKAGE_DEPENDENCIES "")
if(WIN32)
  list(APPEND VUTIL_INSTALLED_TARGETS vutil_static vutil_deps)
  set(VUTIL_PACKAGE_DEPENDENCIES "include(CMakeFindDependencyMacro)\nfind_dependency(Threads)")
endif()
install(TARGETS ${VUTIL_INSTALLED_TARGETS} EXPORT vutilTargets
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
