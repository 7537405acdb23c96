#!/bin/sh
# Builds the Debian packages of debian/ into build/deb/packages: liblsmtp1
# (shared library), liblsmtp-dev (header, static library, pkg-config file,
# CMake package, manual page 3, README, the C# binding as an example),
# lsmtp-send (the tool, manual page 1, a short README),
# python3-lsmtp (the module) and the -dbgsym packages of the binaries.
# Extra arguments go to CMake's configure step.
set -eu
cd "$(dirname "$0")/.."
# Only what building and packaging need: no test framework, no test server.
sh scripts/install-deps.sh --only g++ cmake make dpkg-dev debhelper dh-python python3
dir=build/deb
# dpkg-buildpackage builds inside the source tree and writes the packages
# into the folder above it: a copy under build/ keeps both out of the checkout.
rm -rf "$dir"
mkdir -p "$dir/source" "$dir/packages"
tar -c --exclude-vcs --exclude=./build --exclude=./dist . | tar -x -C "$dir/source"
(cd "$dir/source" && LSMTP_CMAKE_OPTIONS="$*" DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -us -uc -b)
mv "$dir"/*.deb "$dir"/*.buildinfo "$dir"/*.changes "$dir/packages/"
ls -l "$dir/packages"/*.deb
