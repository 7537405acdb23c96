# Install rules, in three components that become the Debian packages:
# runtime (the shared library, the Python module), dev (header, static library, pkg-config
# file, CMake package, manual page 3) and tool (lsmtp-send, manual page 1).
include(CMakePackageConfigHelpers)

set(LSMTP_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/lsmtp)

install(TARGETS lsmtp EXPORT lsmtpTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(TARGETS lsmtp_static EXPORT lsmtpTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${LSMTP_GENERATED_INCLUDE}/lsmtp.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(FILES doc/lsmtp_send_mail.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev)
# The Python module calls the shared library, so it comes with it.
install(FILES bindings/python/lsmtp.py DESTINATION ${CMAKE_INSTALL_DATADIR}/lsmtp/python COMPONENT runtime)
if(TARGET lsmtp-send)
  install(TARGETS lsmtp-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  install(FILES doc/lsmtp-send.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
endif()

# find_package(lsmtp CONFIG) gives lsmtp::lsmtp and lsmtp::lsmtp_static.
install(EXPORT lsmtpTargets NAMESPACE lsmtp:: DESTINATION ${LSMTP_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/lsmtpConfig.cmake.in ${PROJECT_BINARY_DIR}/lsmtpConfig.cmake
  INSTALL_DESTINATION ${LSMTP_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/lsmtpConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/lsmtpConfig.cmake ${PROJECT_BINARY_DIR}/lsmtpConfigVersion.cmake
  DESTINATION ${LSMTP_CMAKE_DIR} COMPONENT dev)

# pkg-config: paths relative to the .pc file, so that the tree can be
# installed under any prefix (cmake --install --prefix) and still be right.
file(RELATIVE_PATH LSMTP_PC_TO_PREFIX
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" LSMTP_PC_TO_PREFIX "${LSMTP_PC_TO_PREFIX}")
list(TRANSFORM LSMTP_CXX_RUNTIME PREPEND -l OUTPUT_VARIABLE LSMTP_PC_LIBS_PRIVATE)
list(APPEND LSMTP_PC_LIBS_PRIVATE ${CMAKE_THREAD_LIBS_INIT})
list(JOIN LSMTP_PC_LIBS_PRIVATE " " LSMTP_PC_LIBS_PRIVATE)
configure_file(cmake/lsmtp.pc.in ${PROJECT_BINARY_DIR}/lsmtp.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/lsmtp.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
