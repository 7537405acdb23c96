#!/bin/sh
# Builds lsmtp twice (plain, then with AddressSanitizer and
# UndefinedBehaviorSanitizer) with warnings as errors, and runs every test
# in both builds; checks the install, its consumers and the Debian packages;
# then sends the interoperability matrix through the plain
# build's lsmtp-send to Postfix, Exim, OpenSMTPD and aiosmtpd.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
jobs=$(nproc)
for variant in plain sanitize; do
    dir="build/test-$variant"
    sanitize=OFF
    [ "$variant" = sanitize ] && sanitize=ON
    echo "== $variant build"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLSMTP_WERROR=ON -DLSMTP_SANITIZE=$sanitize >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs")
done
echo "== install, consumers, Debian packages and manual pages"
sh scripts/check-install.sh
echo "== interoperability with real mail servers"
sh tests/interop/run.sh build/test-plain/tools/lsmtp-send
echo "== Windows build under Wine"
sh scripts/test-windows.sh
