#!/bin/sh
# Builds the Debian packages into build/deb/packages: liblsmtp1 (shared
# library), liblsmtp-dev (header, static library, pkg-config file, CMake
# package, manual page 3), lsmtp-send (the tool, manual page 1),
# python3-lsmtp (the module) and the -dbgsym packages of the binaries.
# Extra arguments go to CMake's configure step.
set -eu
cd "$(dirname "$0")/.."
# Only what building and packaging need: no test framework, no test server.
sh scripts/install-deps.sh --only g++ cmake make dpkg-dev file binutils gzip
dir=build/deb
packages="$dir/packages"
# Debian's hardening and optimisation flags, as a package build gets them.
eval "$(dpkg-buildflags --export=sh)"
CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" \
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DLSMTP_DEBIAN=ON \
    -DLSMTP_TESTS=OFF -DLSMTP_BENCH=OFF "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -rf "$packages"
(cd "$dir" && cpack -G DEB >/dev/null)

# What cpack (CMake 3.25) gets wrong or leaves out is mended in the
# unpacked packages: the ldconfig calls it writes into liblsmtp1's
# maintainer scripts (its triggers file does that job); the debug packages'
# md5sums, which name the staging folder; and what Debian's own packages
# strip besides, the static library's debugging information and each
# binary's compiler notes (.comment).
# repack PACKAGE EDIT: unpacks PACKAGE, runs EDIT in its tree, packs it again.
repack() {
    tree=$(mktemp -d)
    dpkg-deb -R "$1" "$tree"
    (cd "$tree" && eval "$2")
    (cd "$tree" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0r md5sum) \
        >"$tree/DEBIAN/md5sums"
    dpkg-deb --root-owner-group -b "$tree" "$1" >/dev/null
    rm -rf "$tree"
}
notes='strip --remove-section=.comment --remove-section=.note'
repack "$packages"/liblsmtp1_*.deb "rm DEBIAN/postinst DEBIAN/postrm && $notes usr/lib/*/liblsmtp.so.*.*"
repack "$packages"/lsmtp-send_*.deb "$notes usr/bin/lsmtp-send"
repack "$packages"/liblsmtp-dev_*.deb "$notes --strip-debug --enable-deterministic-archives usr/lib/*/liblsmtp.a"
for debug in "$packages"/*-dbgsym_*.ddeb; do
    # The documentation is the package's own, as debhelper does it.
    name=$(dpkg-deb -f "$debug" Package)
    repack "$debug" "find usr/lib/debug -type f -exec chmod 644 {} + &&
        mkdir -p usr/share/doc && ln -s ${name%-dbgsym} usr/share/doc/$name"
done
ls -l "$packages"/*.*deb
