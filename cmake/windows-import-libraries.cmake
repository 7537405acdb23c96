# The DLL's exports under their plain names on both architectures, at
# ordinals the .def pins (hosts that import by ordinal keep working as
# exports are added), and the files other toolchains link with, all made
# from one lsmtp.def: MinGW's liblsmtp.dll.a and MSVC's lsmtp.lib.
#
# On x86 the functions are __stdcall, whose symbols MSVC and GCC decorate
# with the bytes of their arguments: _lsmtp_send_mail@64 (16 pointers of 4
# bytes) and _lsmtp_send_mail_ex@72 (two more). --kill-at drops the
# decoration from the exports; the import libraries keep the decorated
# symbols callers look for and map them to the plain export names
# (dlltool -k). The linker's own import library cannot serve: --kill-at
# strips its symbols as well.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(lsmtp PRIVATE -Wl,--kill-at)
  set(LSMTP_DEF_EXPORTS "lsmtp_send_mail@64 @1\n    lsmtp_send_mail_ex@72 @2")
  set(LSMTP_DLLTOOL_OPTIONS -m i386 -k)
else()
  set(LSMTP_DEF_EXPORTS "lsmtp_send_mail @1\n    lsmtp_send_mail_ex @2")
  set(LSMTP_DLLTOOL_OPTIONS -m i386:x86-64)
endif()
set(LSMTP_DEF_FILE ${CMAKE_CURRENT_BINARY_DIR}/lsmtp.def)
file(WRITE ${LSMTP_DEF_FILE} "LIBRARY lsmtp.dll\nEXPORTS\n    ${LSMTP_DEF_EXPORTS}\n")
# The DLL is linked with the same .def, which fixes its ordinals.
target_link_options(lsmtp PRIVATE ${LSMTP_DEF_FILE})
set_property(TARGET lsmtp APPEND PROPERTY LINK_DEPENDS ${LSMTP_DEF_FILE})

find_program(LSMTP_MINGW_DLLTOOL NAMES ${LSMTP_MINGW_TRIPLET}-dlltool REQUIRED)
# llvm-dlltool writes the short import format MSVC's own tools write; the
# MinGW dlltool's long format is the fallback, which MSVC reads as well.
find_program(LSMTP_MSVC_DLLTOOL NAMES llvm-dlltool ${LSMTP_MINGW_TRIPLET}-dlltool REQUIRED)
set(LSMTP_MSVC_IMPORT_LIBRARY ${CMAKE_CURRENT_BINARY_DIR}/lsmtp.lib)
add_custom_command(TARGET lsmtp POST_BUILD
                   COMMAND ${LSMTP_MINGW_DLLTOOL} ${LSMTP_DLLTOOL_OPTIONS} -D lsmtp.dll -d ${LSMTP_DEF_FILE}
                           -l $<TARGET_LINKER_FILE_NAME:lsmtp>
                   COMMAND ${LSMTP_MSVC_DLLTOOL} ${LSMTP_DLLTOOL_OPTIONS} -D lsmtp.dll -d ${LSMTP_DEF_FILE}
                           -l ${LSMTP_MSVC_IMPORT_LIBRARY}
                   BYPRODUCTS ${LSMTP_MSVC_IMPORT_LIBRARY}
                   # dlltool names the library's members after its output file.
                   WORKING_DIRECTORY $<TARGET_LINKER_FILE_DIR:lsmtp>
                   COMMENT "Import libraries liblsmtp.dll.a and lsmtp.lib from lsmtp.def")
