# The DLL's export under its plain name on both architectures, and the files
# other toolchains link with, all made from one lsmtp.def: MinGW's
# liblsmtp.dll.a and MSVC's lsmtp.lib.
#
# On x86 the function is __stdcall, whose symbol MSVC and GCC decorate as
# _lsmtp_send_mail@64 (16 pointer arguments of 4 bytes). --kill-at drops the
# decoration from the export; the import libraries keep the decorated
# symbol callers look for and map it to the plain export name (dlltool -k).
# The linker's own import library cannot serve: --kill-at strips its
# symbols as well.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(lsmtp PRIVATE -Wl,--kill-at)
  set(LSMTP_DEF_EXPORT lsmtp_send_mail@64)
  set(LSMTP_DLLTOOL_OPTIONS -m i386 -k)
else()
  set(LSMTP_DEF_EXPORT lsmtp_send_mail)
  set(LSMTP_DLLTOOL_OPTIONS -m i386:x86-64)
endif()
set(LSMTP_DEF_FILE ${CMAKE_CURRENT_BINARY_DIR}/lsmtp.def)
file(WRITE ${LSMTP_DEF_FILE} "LIBRARY lsmtp.dll\nEXPORTS\n    ${LSMTP_DEF_EXPORT}\n")

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
