# Debian packages, one per install component, built by scripts/package-deb.sh:
#   cmake -S . -B build/deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DLSMTP_DEBIAN=ON
#   cmake --build build/deb && (cd build/deb && cpack -G DEB)
set(LSMTP_MAINTAINER "lsmtp maintainers <maintainers@lsmtp.invalid>")
set(LSMTP_DEB_RUNTIME liblsmtp${PROJECT_VERSION_MAJOR})
set(LSMTP_DEB_DEV liblsmtp-dev)
set(LSMTP_DEB_TOOL lsmtp-send)
set(LSMTP_DEB_PYTHON python3-lsmtp)

if(LSMTP_DEBIAN)
  # Each package carries the licence as a machine-readable copyright file
  # and the release history as a Debian changelog, both in its own
  # documentation folder.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" unused "${license}")
  set(LSMTP_COPYRIGHT "${CMAKE_MATCH_1}")
  string(FIND "${license}" "Permission is hereby granted" start)
  string(SUBSTRING "${license}" ${start} -1 license)
  string(STRIP "${license}" license)
  string(REPLACE "\n\n" "\n.\n" license "${license}")
  string(REPLACE "\n" "\n " LSMTP_LICENSE_TEXT " ${license}")
  set(copyright ${PROJECT_BINARY_DIR}/debian/copyright)
  configure_file(packaging/debian/copyright.in ${copyright} @ONLY)

  set(changelog ${PROJECT_BINARY_DIR}/debian/changelog.gz)
  add_custom_command(OUTPUT ${changelog}
    COMMAND awk -v "maintainer=${LSMTP_MAINTAINER}" -f ${PROJECT_SOURCE_DIR}/packaging/debian/changelog.awk
            ${PROJECT_SOURCE_DIR}/CHANGELOG.md > ${PROJECT_BINARY_DIR}/debian/changelog
    COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/debian/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/packaging/debian/changelog.awk VERBATIM)
  add_custom_target(lsmtp_debian_changelog ALL DEPENDS ${changelog})

  foreach(component runtime dev tool python)
    string(TOUPPER ${component} upper)
    install(FILES ${copyright} ${changelog}
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${LSMTP_DEB_${upper}} COMPONENT ${component})
  endforeach()
endif()

set(CPACK_PACKAGE_NAME lsmtp)
set(CPACK_PACKAGE_VENDOR "the lsmtp authors")
set(CPACK_PACKAGE_CONTACT "${LSMTP_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# The install rules run with the packages' own prefix (/usr) and a staging
# DESTDIR, so that lsmtp.pc names /usr.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/debian/cpack-options.cmake)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tool python)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the system libraries each binary needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Binaries go out stripped; their symbols go into -dbgsym packages.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
# liblsmtp1 declares its soname (a shlibs file and the ldconfig trigger), so
# that programs packaged against it depend on it in turn.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${LSMTP_DEB_RUNTIME})
# dpkg runs ldconfig once, after all the packages of a run are unpacked.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "library that sends one e-mail with attachments per call\n\
lsmtp_send_mail, the one function of this C library, sends a MIME\n\
multipart/mixed message with base64 attachments to an SMTP server on\n\
port 25 and returns the server's reply code or one of its own. It speaks\n\
plain SMTP, without TLS or authentication, to a relay that accepts the host.\n\
\n\
This package holds the shared library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${LSMTP_DEB_DEV})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${LSMTP_DEB_RUNTIME} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "development files for lsmtp, the one-call e-mail library\n\
lsmtp_send_mail sends a MIME message with attachments to an SMTP server\n\
on port 25.\n\
\n\
This package holds the C header, the static library, the pkg-config file,\n\
the CMake package and the manual page of lsmtp_send_mail.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${LSMTP_DEB_TOOL})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION mail)
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "send one e-mail with attachments from the command line\n\
lsmtp-send sends one MIME message, with files attached, to an SMTP server\n\
on port 25, taking the envelope, header values and body from its flags,\n\
and tells what the server answered. It is built on the lsmtp library.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME ${LSMTP_DEB_PYTHON})
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3:any, ${LSMTP_DEB_RUNTIME} (>= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
  "Python 3 module that sends one e-mail with attachments per call\n\
The lsmtp module calls the lsmtp library through ctypes: send_mail sends\n\
a MIME message with attachments to an SMTP server on port 25 and raises\n\
LsmtpError with the server's or the library's code when it was not sent.")

include(CPack)
