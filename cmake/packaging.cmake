# Debian packages, one per install component:
#   cmake -S . -B build/deb -DCMAKE_INSTALL_PREFIX=/usr && cmake --build build/deb
#   (cd build/deb && cpack -G DEB)
set(CPACK_PACKAGE_NAME lsmtp)
set(CPACK_PACKAGE_VENDOR "the lsmtp authors")
set(CPACK_PACKAGE_CONTACT "the lsmtp authors <lsmtp@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# dpkg-shlibdeps names the system libraries each binary needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# liblsmtp1 declares its soname (a shlibs file and the ldconfig trigger), so
# that programs packaged against it depend on it in turn.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME liblsmtp${PROJECT_VERSION_MAJOR})
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "${PROJECT_DESCRIPTION}\n The shared library: one C function, lsmtp_send_mail, sends a MIME message\n with attachments through an SMTP server on port 25. A Python module that\n calls it lies in /usr/share/lsmtp/python.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME liblsmtp-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "liblsmtp${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "${PROJECT_DESCRIPTION} (development files)\n The C header, the static library, the pkg-config file, the CMake package\n and the manual page of lsmtp_send_mail.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME lsmtp-send)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION mail)
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "${PROJECT_DESCRIPTION} (command-line tool)\n lsmtp-send sends one message, with attachments, from the command line.")

include(CPack)
