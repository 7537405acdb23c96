#!/bin/sh
# Cross-builds lsmtp for Windows (MinGW-w64, warnings as errors) and runs
# its tests under Wine: the unit and dialogue suites through CTest, the
# DLL's export and import check, and a host program that loads the DLL and
# sends a message to a real SMTP server.
#
# Everything runs in one private network namespace, the wineserver
# included: Windows sockets are made by the wineserver, so a server started
# outside would put the tests on the host's loopback. The tests therefore
# share that namespace's port 25 and run one at a time.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    wine wine64 python3-aiosmtpd
dir=build/test-windows
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLSMTP_WERROR=ON -DCMAKE_CROSSCOMPILING_EMULATOR=wine >/dev/null
cmake --build "$dir" -j "$(nproc)"

# Wine's prefix, home and temporary files stay inside the build folder.
root="$(pwd)/$dir/wine"
mkdir -p "$root/home" "$root/tmp"
export WINEPREFIX="$root/prefix" HOME="$root/home" TMPDIR="$root/tmp" WINEDEBUG=-all WINEARCH=win64
# No .NET or HTML engine is needed by console programs; do not offer them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
exec sh tests/netns-run.sh sh tests/windows/run-in-namespace.sh "$dir"
