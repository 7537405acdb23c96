# Install rules, in four components, split as the Debian packages of
# debian/ are: runtime (the shared library), dev (header, static library,
# pkg-config file, CMake package, manual page 3), tool (lsmtp-send, manual
# page 1) and python (the module).
include(CMakePackageConfigHelpers)

if(NOT PROJECT_IS_TOP_LEVEL)
  # A parent that installs its programs needs the shared library's runtime
  # files, and nothing to build against.
  install(TARGETS lsmtp
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP)
  return()
endif()

# A source install keeps the module under the prefix's share folder; the
# Debian packages put it where Python 3 looks by itself (debian/rules).
set(LSMTP_PYTHON_DIR ${CMAKE_INSTALL_DATADIR}/lsmtp/python CACHE STRING
    "Where the Python module is installed, under the prefix")

set(LSMTP_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/lsmtp)

# The uninstall target removes what the install wrote and the folders it
# made (cmake/uninstall.cmake); every folder an install rule writes to is
# named here.
set(lsmtp_install_folders ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_INCLUDEDIR} ${LSMTP_CMAKE_DIR}
  ${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_MANDIR}/man1 ${CMAKE_INSTALL_MANDIR}/man3
  ${LSMTP_PYTHON_DIR} ${CMAKE_INSTALL_DOCDIR})
set(lsmtp_made_folders ${PROJECT_BINARY_DIR}/install_folders.txt)
install(CODE "
  include(\"${PROJECT_SOURCE_DIR}/cmake/uninstall.cmake\")
  set(folders \"${lsmtp_install_folders}\")
  list(TRANSFORM folders PREPEND \"\${CMAKE_INSTALL_PREFIX}/\" REGEX \"^[^/]\")
  list(TRANSFORM folders PREPEND \"\$ENV{DESTDIR}\")
  lsmtp_note_missing_folders(\"${lsmtp_made_folders}\" \${folders})")
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt -DRECORD=${lsmtp_made_folders}
          -P ${PROJECT_SOURCE_DIR}/cmake/uninstall.cmake
  COMMENT "Removing what the install wrote" VERBATIM)

install(TARGETS lsmtp EXPORT lsmtpTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(TARGETS lsmtp_static EXPORT lsmtpTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${LSMTP_GENERATED_INCLUDE}/lsmtp.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES ${LSMTP_GENERATED_PYTHON}/lsmtp.py DESTINATION ${LSMTP_PYTHON_DIR} COMPONENT python)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
# lsmtp_send_mail_ex has its page through a link, as mandoc advises over .so.
file(CREATE_LINK lsmtp_send_mail.3 ${PROJECT_BINARY_DIR}/lsmtp_send_mail_ex.3 SYMBOLIC)
install(FILES doc/lsmtp_send_mail.3 ${PROJECT_BINARY_DIR}/lsmtp_send_mail_ex.3
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev)
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

# pkg-config: the prefix is the one installed under, known only when
# installing (cmake --install --prefix, or /usr in the packages), so the
# file is written then, with plain paths. The last install's copy is removed
# first: after a "sudo cmake --install" it belongs to root.
list(TRANSFORM LSMTP_CXX_RUNTIME PREPEND -l OUTPUT_VARIABLE LSMTP_PC_LIBS_PRIVATE)
list(APPEND LSMTP_PC_LIBS_PRIVATE ${CMAKE_THREAD_LIBS_INIT})
list(JOIN LSMTP_PC_LIBS_PRIVATE " " LSMTP_PC_LIBS_PRIVATE)
set(LSMTP_PC_PREFIX "@LSMTP_PC_PREFIX@")
configure_file(cmake/lsmtp.pc.in ${PROJECT_BINARY_DIR}/lsmtp.pc.in @ONLY)
install(CODE "
  set(LSMTP_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  file(REMOVE \"${PROJECT_BINARY_DIR}/lsmtp.pc\")
  configure_file(\"${PROJECT_BINARY_DIR}/lsmtp.pc.in\" \"${PROJECT_BINARY_DIR}/lsmtp.pc\" @ONLY)"
  COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/lsmtp.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
