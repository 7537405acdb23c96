# Cross-building lsmtp for Windows with Debian's MinGW-w64 compilers; the
# per-architecture toolchain files name the target and include this one.
# The -posix variants are used: GoogleTest needs their std::thread.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${LSMTP_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LSMTP_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${LSMTP_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LSMTP_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
