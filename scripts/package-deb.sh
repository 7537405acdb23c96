#!/bin/sh
# Builds the Debian packages liblsmtp1 (shared library), liblsmtp-dev
# (header, static library, pkg-config file, CMake package, manual page 3)
# and lsmtp-send (the tool, manual page 1) into build/deb/packages.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh dpkg-dev
dir=build/deb
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DLSMTP_TESTS=OFF -DLSMTP_BENCH=OFF \
    "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
ls -l "$dir"/packages/*.deb
