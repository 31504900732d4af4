# Installation: libraries, exported and host headers, the CMake package (find_package(pgmdev)
# gives pgmdev::pgmdev) and a pkg-config file. Data files register themselves by installing
# into ${CMAKE_INSTALL_DATADIR}/pgmdev from their own directories.
include(CMakePackageConfigHelpers)

install(TARGETS pgmdev pgmhost EXPORT pgmdevTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/h/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pgmdev
        FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${CMAKE_SOURCE_DIR}/host/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pgmdev/host
        FILES_MATCHING PATTERN "*.h" PATTERN "src" EXCLUDE)
install(EXPORT pgmdevTargets NAMESPACE pgmdev::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/pgmdev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/pgmdevConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/cmake/pgmdevConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/pgmdev)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/pgmdevConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/pgmdevConfig.cmake
              ${CMAKE_BINARY_DIR}/cmake/pgmdevConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/pgmdev)
configure_file(${CMAKE_SOURCE_DIR}/cmake/pgmdev.pc.in ${CMAKE_BINARY_DIR}/pgmdev.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/pgmdev.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(DIRECTORY ${PGMDEV_SHARE_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/pgmdev)
