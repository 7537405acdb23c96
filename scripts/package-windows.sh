#!/bin/sh
# Builds the Windows release of lsmtp for both architectures (MinGW-w64,
# optimised, stripped) and writes one archive each, and their checksums:
#   dist/lsmtp-VERSION-win-x64.zip, dist/lsmtp-VERSION-win-x86.zip and
#   dist/SHA256SUMS (sha256sum -c SHA256SUMS verifies them).
# Each archive unpacks into one folder, lsmtp-VERSION-win-ARCH, holding
# bin/lsmtp.dll, bin/lsmtp-send.exe, lib/lsmtp.lib (MSVC),
# lib/liblsmtp.dll.a (MinGW), lib/lsmtp.def, include/lsmtp.h, the
# declarations for C#, VB6/VBA and Delphi in bindings/, LICENSE and
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

    # Unpacked side by side, the two architectures keep apart.
    name="lsmtp-$version-win-$arch"
    stage="$dir/stage"
    rm -rf "$stage"
    mkdir -p "$stage/$name/bin" "$stage/$name/lib" "$stage/$name/include" "$stage/$name/bindings"
    cp "$dir/bin/lsmtp.dll" "$dir/bin/lsmtp-send.exe" "$stage/$name/bin/"
    cp "$dir/lsmtp.lib" "$dir/liblsmtp.dll.a" "$dir/lsmtp.def" "$stage/$name/lib/"
    cp "$dir/include/lsmtp.h" "$stage/$name/include/"
    # Windows line ends, for every editor there (and VB6 reads no other).
    for text in LICENSE doc/README-windows.txt bindings/csharp/Lsmtp.cs bindings/vb/lsmtp.bas \
        bindings/pascal/lsmtp.pas; do
        case "$text" in
            bindings/*) target="$stage/$name/bindings/${text##*/}" ;;
            *) target="$stage/$name/${text##*/}" ;;
        esac
        sed 's/$/\r/' "$text" >"$target"
    done
    archive="$(pwd)/dist/$name.zip"
    rm -f "$archive"
    (cd "$stage" && zip -q -X -r "$archive" "$name")
    echo "$archive:"
    (cd "$stage" && find . -type f | sort | xargs ls -l | awk '{ printf "  %9d %s\n", $5, substr($9, 3) }')
done
(cd dist && sha256sum "lsmtp-$version-win-x64.zip" "lsmtp-$version-win-x86.zip" >SHA256SUMS)
echo "dist/SHA256SUMS:"
sed 's/^/  /' dist/SHA256SUMS
