#!/bin/sh
# Checks lsmtp the way its users meet it, from outside the build tree:
#   - the manual pages pass mandoc's lint;
#   - the library and tool, built as a distribution would (prefix /usr),
#     install into a prefix, and the README's C example builds against that
#     prefix through pkg-config (shared, and --static with only the static
#     library present) and through find_package (both targets), and runs;
#   - a C-only parent builds lsmtp with add_subdirectory without GoogleTest,
#     gets none of its tests and none of its flags, and runs the example;
#   - the Debian packages have the expected names, dependencies and files;
#     unpacked into a folder (never installed), they build and run the
#     example too.
# Each run of the example sends a message with an attachment to aiosmtpd in
# a private network namespace and checks what arrived.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
sh scripts/install-deps.sh pkg-config mandoc python3-aiosmtpd
python=/usr/bin/python3
build="$root/build/deb"
work="$build/checks"
rm -rf "$work"
mkdir -p "$work"

fail() {
    echo "check-install: $*" >&2
    exit 1
}
# run_example PROGRAM: sends through PROGRAM to a server that checks the message.
run_example() {
    sh tests/netns-run.sh "$python" tests/consumers/run_example.py "$@"
}
# needs_lsmtp_so PROGRAM: whether PROGRAM loads the shared library.
needs_lsmtp_so() {
    readelf -d "$1" | grep -q 'NEEDED.*liblsmtp\.so'
}

echo "== manual pages"
for page in doc/*.[1-9]; do
    mandoc -T lint -W warning "$page"
done

echo "== the README's C example"
awk '/^```c$/ { inside = 1; next } /^```$/ { inside = 0 } inside' README.md >"$work/example.c"
[ -s "$work/example.c" ] || fail "README.md holds no C example"

echo "== library, tool and Debian packages, built for prefix /usr"
sh scripts/package-deb.sh -DLSMTP_WERROR=ON
version=$(sed -n 's/^#define LSMTP_VERSION "\(.*\)"$/\1/p' "$build/include/lsmtp.h")
[ -n "$version" ] || fail "the generated header names no version"

echo "== installed into a prefix"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
(cd "$prefix" && find . ! -type d | sort)
pcdir=$(dirname "$(find "$prefix" -name lsmtp.pc)")
libdir=$(dirname "$pcdir")

echo "== Python module beside the installed library"
# load_module PREFIX: the module installed under PREFIX finds the library
# installed there, with no help from the environment.
load_module() {
    env -u LSMTP_LIBRARY -u LD_LIBRARY_PATH "$python" -c "import sys; sys.path.insert(0, '$1/share/lsmtp/python')
import lsmtp; lsmtp.load_library(); print(lsmtp._library_candidates()[0])" | grep -q "^$1/" ||
        fail "the Python module under $1 does not find the library installed beside it"
}
load_module "$prefix"

[ "$(PKG_CONFIG_PATH="$pcdir" pkg-config --modversion lsmtp)" = "$version" ] ||
    fail "lsmtp.pc and lsmtp.h disagree on the version"
# shellcheck disable=SC2046 # pkg-config's output is a list of flags
cc -o "$work/pkg-shared" "$work/example.c" $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs lsmtp)
needs_lsmtp_so "$work/pkg-shared" || fail "the pkg-config program does not load liblsmtp.so"
LD_LIBRARY_PATH="$libdir" run_example "$work/pkg-shared"

echo "== C program through pkg-config --static (static library only)"
static_prefix="$work/static-prefix"
cp -a "$prefix" "$static_prefix"
find "$static_prefix" -name 'liblsmtp.so*' -delete
static_pcdir=$(dirname "$(find "$static_prefix" -name lsmtp.pc)")
# shellcheck disable=SC2046
cc -o "$work/pkg-static" "$work/example.c" $(PKG_CONFIG_PATH="$static_pcdir" pkg-config --static --cflags --libs lsmtp)
! needs_lsmtp_so "$work/pkg-static" || fail "the --static program loads liblsmtp.so"
run_example "$work/pkg-static"

echo "== C project through find_package"
cmake -S tests/consumers/find-package -B "$work/find-package" -DCMAKE_PREFIX_PATH="$prefix" \
    -DEXAMPLE_SOURCE="$work/example.c" >/dev/null
cmake --build "$work/find-package" -j "$(nproc)"
needs_lsmtp_so "$work/find-package/example_shared" || fail "lsmtp::lsmtp is not the shared library"
! needs_lsmtp_so "$work/find-package/example_static" || fail "lsmtp::lsmtp_static loads liblsmtp.so"
run_example "$work/find-package/example_shared"
run_example "$work/find-package/example_static"

echo "== C parent with add_subdirectory, no GoogleTest"
cmake -S tests/consumers/subproject -B "$work/subproject" -DLSMTP_SOURCE="$root" \
    -DEXAMPLE_SOURCE="$work/example.c" -DLSMTP_WERROR=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON --no-warn-unused-cli >/dev/null
cmake --build "$work/subproject" -j "$(nproc)"
if cmake --build "$work/subproject" --target help | grep -E 'lsmtp_tests|lsmtp_bench|gtest|lsmtp-send'; then
    fail "the parent builds lsmtp's tests, benchmarks or tool"
fi
parent_commands=$(grep '"command": .*example\.c' "$work/subproject/compile_commands.json")
[ "$(echo "$parent_commands" | wc -l)" -eq 2 ] || fail "the parent's two programs were not compiled"
if echo "$parent_commands" | grep -E -- ' -W| -fsanitize| -std=c\+\+'; then
    fail "lsmtp's flags reach the parent's code"
fi
run_example "$work/subproject/example_shared"
run_example "$work/subproject/example_static"

echo "== Debian packages"
packages="$build/packages"
for deb in "$packages"/*.deb; do
    echo "-- $(basename "$deb")"
    dpkg-deb -I "$deb"
    dpkg-deb -c "$deb"
done
runtime="$packages/liblsmtp1_${version}_amd64.deb"
dev="$packages/liblsmtp-dev_${version}_amd64.deb"
tool="$packages/lsmtp-send_${version}_amd64.deb"
# depends DEB TEXT: DEB's Depends field holds TEXT.
depends() {
    dpkg-deb -f "$1" Depends | grep -qF "$2" || fail "$(basename "$1") does not depend on $2"
}
depends "$runtime" libc6
depends "$runtime" libstdc++6
depends "$dev" "liblsmtp1 (= $version)"
depends "$tool" libc6
dpkg-deb -I "$runtime" shlibs | grep -q "^liblsmtp 1 liblsmtp1 (>= $version)" ||
    fail "liblsmtp1 declares no shlibs entry for its soname"
# holds DEB PATTERN...: DEB has a file matching each PATTERN.
holds() {
    deb=$1
    shift
    contents=$(dpkg-deb -c "$deb")
    for pattern in "$@"; do
        echo "$contents" | grep -qE "$pattern" || fail "$(basename "$deb") has no $pattern"
    done
}
holds "$runtime" '/liblsmtp\.so\.1 ' '/liblsmtp\.so\.1\.' '/usr/share/lsmtp/python/lsmtp\.py$'
holds "$dev" '/usr/include/lsmtp\.h$' '/liblsmtp\.a$' '/liblsmtp\.so -> ' '/pkgconfig/lsmtp\.pc$' \
    '/cmake/lsmtp/lsmtpConfig\.cmake$' '/man3/lsmtp_send_mail\.3'
holds "$tool" '/usr/bin/lsmtp-send$' '/man1/lsmtp-send\.1'
shared_files=$(for deb in "$runtime" "$dev" "$tool"; do
    dpkg-deb -c "$deb" | grep -v '^d' | awk '{ print $6 }'
done | sort | uniq -d)
[ -z "$shared_files" ] || fail "files in more than one package: $shared_files"

echo "== the packages' files, unpacked into a folder"
unpacked="$work/unpacked"
for deb in "$runtime" "$dev" "$tool"; do
    dpkg -x "$deb" "$unpacked"
done
unpacked_pcdir=$(dirname "$(find "$unpacked" -name lsmtp.pc)")
# shellcheck disable=SC2046
cc -o "$work/deb-example" "$work/example.c" $(PKG_CONFIG_PATH="$unpacked_pcdir" pkg-config --cflags --libs lsmtp)
LD_LIBRARY_PATH=$(dirname "$unpacked_pcdir") run_example "$work/deb-example"
load_module "$unpacked/usr"
"$unpacked/usr/bin/lsmtp-send" --version | grep -qF "$version" || fail "the packaged lsmtp-send shows another version"
echo "== install and package checks passed"
