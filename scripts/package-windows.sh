#!/bin/sh
# Builds the Windows release of lsmtp for both architectures (MinGW-w64,
# optimised, stripped) and writes one archive each:
#   dist/lsmtp-VERSION-win-x64.zip and dist/lsmtp-VERSION-win-x86.zip
# Each holds bin/lsmtp.dll, bin/lsmtp-send.exe, lib/lsmtp.lib (MSVC),
# lib/liblsmtp.dll.a (MinGW), lib/lsmtp.def, include/lsmtp.h, LICENSE and
# README-windows.txt, and nothing else. The DLL's tables and the import
# libraries are checked before anything is packed.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 llvm zip
version=$(sed -n 's/^project(lsmtp VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p dist
for arch in x64 x86; do
    case "$arch" in
        x64) toolchain=mingw-w64-x86_64; triplet=x86_64-w64-mingw32; pointer_size=8 ;;
        x86) toolchain=mingw-w64-i686; triplet=i686-w64-mingw32; pointer_size=4 ;;
    esac
    dir="build/package-$arch"
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DLSMTP_WERROR=OFF -DLSMTP_TESTS=OFF -DCMAKE_SHARED_LINKER_FLAGS=-s -DCMAKE_EXE_LINKER_FLAGS=-s >/dev/null
    cmake --build "$dir" -j "$(nproc)" --target lsmtp lsmtp-send
    sh tests/windows/check-dll.sh "$triplet-objdump" "$dir/bin/lsmtp.dll" "$version"
    sh tests/windows/check-import-libraries.sh llvm-nm llvm-readobj "$pointer_size" "$dir/liblsmtp.dll.a" \
        "$dir/lsmtp.lib"

    stage="$dir/stage"
    rm -rf "$stage"
    mkdir -p "$stage/bin" "$stage/lib" "$stage/include"
    cp "$dir/bin/lsmtp.dll" "$dir/bin/lsmtp-send.exe" "$stage/bin/"
    cp "$dir/lsmtp.lib" "$dir/liblsmtp.dll.a" "$dir/lsmtp.def" "$stage/lib/"
    cp "$dir/include/lsmtp.h" "$stage/include/"
    cp LICENSE "$stage/"
    # Windows line ends, for every editor there.
    sed 's/$/\r/' doc/README-windows.txt >"$stage/README-windows.txt"
    archive="$(pwd)/dist/lsmtp-$version-win-$arch.zip"
    rm -f "$archive"
    (cd "$stage" && zip -q -X -r "$archive" bin lib include LICENSE README-windows.txt)
    echo "$archive:"
    (cd "$stage" && find . -type f | sort | xargs ls -l | awk '{ printf "  %9d %s\n", $5, substr($9, 3) }')
done
