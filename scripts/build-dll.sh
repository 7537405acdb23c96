#!/bin/sh
# Cross-builds the Windows x86_64 library with MinGW-w64: lsmtp.dll, its
# import library liblsmtp.dll.a and, when the command-line tool is part of
# the tree, lsmtp-send.exe. Output: build/dll/bin and build/dll.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
dir=build/dll
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DLSMTP_WERROR=ON -DLSMTP_TESTS=OFF -DCMAKE_SHARED_LINKER_FLAGS=-s -DCMAKE_EXE_LINKER_FLAGS=-s >/dev/null
cmake --build "$dir" -j "$(nproc)"
ls -l "$dir"/bin/*.dll "$dir"/bin/*.exe "$dir"/*.dll.a 2>/dev/null || true
