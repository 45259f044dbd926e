# `cmake --install build [--prefix DIR]`: the library, the public header, a
# CMake package (find_package(vorta) -> vorta::vorta) and vorta.pc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

target_include_directories(vorta INTERFACE $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
                                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS vorta EXPORT vortaTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/vorta/vorta.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vorta)

set(VORTA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vorta)
install(EXPORT vortaTargets NAMESPACE vorta:: DESTINATION ${VORTA_CMAKE_DIR})
configure_package_config_file(cmake/vortaConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/vortaConfig.cmake
                              INSTALL_DESTINATION ${VORTA_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vortaConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vortaConfig.cmake ${CMAKE_BINARY_DIR}/vortaConfigVersion.cmake
        DESTINATION ${VORTA_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so the installed
# tree can be moved.
file(RELATIVE_PATH VORTA_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/vorta.pc.in ${CMAKE_BINARY_DIR}/vorta.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/vorta.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
