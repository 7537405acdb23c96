#!/bin/sh
# Cross-builds lsmtp for Windows (MinGW-w64, warnings as errors) and runs
# its tests under Wine: the unit and dialogue suites through CTest, the
# DLL's tables and import libraries, and a host program that loads the DLL
# and sends a message to a real SMTP server.
#
# Usage: test-windows.sh [x64|x86|release|deps]. x64 (the default) runs
# every test; x86 runs the dialogue suite, the path conversion and the DLL
# checks; release checks the archives package-windows.sh wrote into dist/
# (tests/windows/check-release.sh); deps only installs what they need.
#
# Everything runs in one private network namespace, the wineserver
# included: Windows sockets are made by the wineserver, so a server started
# outside would put the tests on the host's loopback. The tests therefore
# share that namespace's port 25 and run one at a time.
set -eu
cd "$(dirname "$0")/.."
arch="${1:-x64}"
# 32-bit Windows programs need 32-bit Wine, from Debian's i386 architecture.
sh scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 llvm \
    wine wine64 wine32:i386 python3-aiosmtpd fp-compiler fpc-source unzip mono-devel mono-xbuild nuget
case "$arch" in
    deps) exit 0 ;;
    x64) toolchain=mingw-w64-x86_64; tests="" ;;
    x86) toolchain=mingw-w64-i686; tests="Dialogue|FilePath|windows_|public_header" ;;
    release) ;;
    *) echo "usage: $0 [x64|x86|release|deps]" >&2; exit 2 ;;
esac
if [ "$arch" = release ]; then
    # The release checks share the x64 suite's Wine prefix: making one
    # takes half a minute.
    dir="build/test-windows-x64"
    version=$(sed -n 's/^project(lsmtp VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    set -- sh tests/windows/check-release.sh dist "$version" build/test-windows-release
else
    dir="build/test-windows-$arch"
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLSMTP_WERROR=ON -DLSMTP_TESTS=ON -DCMAKE_CROSSCOMPILING_EMULATOR=wine >/dev/null
    cmake --build "$dir" -j "$(nproc)"
    set -- ctest --test-dir "$dir" --output-on-failure ${tests:+-R "$tests"}
fi

# Wine's prefix, home and temporary files stay inside the build folder.
root="$(pwd)/$dir/wine"
mkdir -p "$root/home" "$root/tmp"
# The locale decides Wine's ANSI code page: C.UTF-8, present on every
# Debian system, gives Windows-1252, which the file name tests expect.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
export WINEPREFIX="$root/prefix" HOME="$root/home" TMPDIR="$root/tmp" WINEDEBUG=-all WINEARCH=win64
# No .NET or HTML engine is needed by console programs; do not offer them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
exec sh tests/netns-run.sh sh tests/windows/run-in-namespace.sh "$@"
