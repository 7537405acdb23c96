#!/bin/sh
# Builds lsmtp twice (plain, then with AddressSanitizer and
# UndefinedBehaviorSanitizer) with warnings as errors, and runs every test
# in both builds; checks the install, its consumers, the Debian packages and
# the Python wheels; runs the concurrency tests under ThreadSanitizer and the
# fuzzing harnesses over their corpora; then sends the interoperability matrix through the
# plain build's lsmtp-send to Postfix, Exim, OpenSMTPD and aiosmtpd, while the
# 32-bit Windows build runs its tests under Wine alongside; last the 64-bit
# Windows build under Wine and the release archives.
set -eu
cd "$(dirname "$0")/.."
# Mono and Free Pascal run the C# and Pascal callers against the shared
# library; strace and valgrind count the system calls and instructions per
# message.
sh scripts/install-deps.sh clang libclang-rt-14-dev mono-mcs fp-compiler python3-aiosmtpd strace valgrind
jobs=$(nproc)
for variant in plain sanitize; do
    dir="build/test-$variant"
    sanitize=OFF
    [ "$variant" = sanitize ] && sanitize=ON
    echo "== $variant build"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLSMTP_WERROR=ON -DLSMTP_TESTS=ON -DLSMTP_BENCH=ON \
        -DLSMTP_SANITIZE=$sanitize >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs")
done
# The x86 suite mostly waits on Wine: it shares the time with the steps
# below. Its output follows at the end.
sh scripts/test-windows.sh deps
x86_log=build/test-windows-x86.log
sh scripts/test-windows.sh x86 >"$x86_log" 2>&1 &
x86_job=$!
echo "== install, consumers, Debian packages, Python wheels and manual pages"
sh scripts/check-install.sh
echo "== concurrency under ThreadSanitizer"
dir=build/test-tsan
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLSMTP_WERROR=ON -DLSMTP_TESTS=ON -DLSMTP_TSAN=ON >/dev/null
cmake --build "$dir" -j "$jobs" --target lsmtp_tests
(cd "$dir" && ctest --output-on-failure -R '^Concurrency\.|^DateClock\.Threads')
echo "== fuzzing harnesses: corpora and a fixed number of runs"
dir=build/test-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLSMTP_WERROR=ON -DLSMTP_FUZZ=ON -DLSMTP_BENCH=OFF \
    -DLSMTP_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$jobs" --target fuzzers
(cd "$dir" && ctest --output-on-failure -j "$jobs")
# The same tree shows the same figures on every run.
for stats in "$dir"/tests/fuzz/fuzz_*.stats; do
    echo "$(basename "$stats" .stats):" $(sed 's/^stat:://' "$stats")
done
echo "== interoperability with real mail servers"
sh tests/interop/run.sh build/test-plain/tools/lsmtp-send
echo "== Windows x64 build under Wine"
sh scripts/test-windows.sh x64
echo "== Windows release archives, checked under Wine"
sh scripts/package-windows.sh
sh scripts/test-windows.sh release
echo "== Windows x86 build under Wine"
x86_status=0
wait "$x86_job" || x86_status=$?
cat "$x86_log"
exit "$x86_status"
