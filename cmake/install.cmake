# Install rules, in four components that become the Debian packages:
# runtime (the shared library), dev (header, static library, pkg-config
# file, CMake package, manual page 3), tool (lsmtp-send, manual page 1) and
# python (the module).
include(CMakePackageConfigHelpers)

if(NOT PROJECT_IS_TOP_LEVEL)
  # A parent that installs its programs needs the shared library's runtime
  # files, and nothing to build against.
  install(TARGETS lsmtp
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP)
  return()
endif()

# The Debian packages put the module where Python 3 looks by itself; a
# source install keeps it under the prefix's share folder.
option(LSMTP_DEBIAN "Lay the install out for the Debian packages (scripts/package-deb.sh)" OFF)
if(LSMTP_DEBIAN)
  set(lsmtp_python_default lib/python3/dist-packages)
else()
  set(lsmtp_python_default ${CMAKE_INSTALL_DATADIR}/lsmtp/python)
endif()
set(LSMTP_PYTHON_DIR ${lsmtp_python_default} CACHE STRING "Where the Python module is installed, under the prefix")

set(LSMTP_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/lsmtp)

install(TARGETS lsmtp EXPORT lsmtpTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(TARGETS lsmtp_static EXPORT lsmtpTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${LSMTP_GENERATED_INCLUDE}/lsmtp.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES bindings/python/lsmtp.py DESTINATION ${LSMTP_PYTHON_DIR} COMPONENT python)
if(NOT LSMTP_DEBIAN)
  # The packages carry the licence in each one's copyright file instead.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
endif()

# lsmtp_install_man(PAGE SECTION COMPONENT): the packages hold the manual
# pages compressed, as Debian's policy asks.
function(lsmtp_install_man page section component)
  if(LSMTP_DEBIAN)
    set(compressed ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/doc/${page} > ${compressed}
      DEPENDS ${PROJECT_SOURCE_DIR}/doc/${page} VERBATIM)
    add_custom_target(lsmtp_man_${section} ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
  else()
    install(FILES doc/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
  endif()
endfunction()

lsmtp_install_man(lsmtp_send_mail.3 3 dev)
if(TARGET lsmtp-send)
  install(TARGETS lsmtp-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  lsmtp_install_man(lsmtp-send.1 1 tool)
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
