#!/bin/sh
# Checks lsmtp the way its users meet it, from outside the build tree:
#   - the manual pages pass mandoc's lint, and man shows them with no
#     escape left unread;
#   - the README's build (a bare configure, GoogleTest installed) builds
#     the libraries and the tool and no test; asking for the tests without
#     GoogleTest fails;
#   - that build installs into a prefix; lsmtp.pc there names that prefix;
#     the README's C example builds against it through pkg-config (shared,
#     static beside the shared library, --static with only the static
#     library) and through find_package (both targets), and runs; the
#     uninstall target then leaves only the folders that were there before;
#   - a C-only parent builds lsmtp with add_subdirectory without GoogleTest,
#     gets none of its tests and none of its flags, installs its program
#     (lsmtp static by default; shared with BUILD_SHARED_LIBS and
#     LSMTP_INSTALL) and the installed program runs as it is;
#   - the Debian packages (debian/, dpkg-buildpackage) have the expected
#     names, dependencies, symbols and files, and lintian finds nothing; unpacked into a folder (never installed),
#     they build and run the README's C example and Python script (with
#     Debian's Python, and from a virtual environment), and pass the Python
#     module's tests;
#   - the Python wheel (scripts/package-python.sh), installed with pip into
#     a virtual environment on a machine without liblsmtp1, loads its own
#     copy of the library and runs the README's Python script; pip
#     uninstall then leaves the environment as it was;
#   - the README's relay recipe delivers through STARTTLS and authentication
#     (tests/relay/run.sh).
# Each run of an example sends a message with an attachment to aiosmtpd in
# a private network namespace and checks what arrived.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
sh scripts/install-deps.sh pkg-config mandoc man-db python3-aiosmtpd python3-venv lintian
python=/usr/bin/python3
work="$root/build/checks"
rm -rf "$work"
mkdir -p "$work"

fail() {
    echo "check-install: $*" >&2
    exit 1
}
# run_example PROGRAM...: sends through PROGRAM to a server that checks the message.
run_example() {
    sh tests/netns-run.sh "$python" tests/consumers/run_example.py "$@"
}
# needs_lsmtp_so PROGRAM: whether PROGRAM loads the shared library.
needs_lsmtp_so() {
    readelf -d "$1" | grep -q 'NEEDED.*liblsmtp\.so'
}
# readme_block LANGUAGE: the README's first fenced block of LANGUAGE.
readme_block() {
    awk -v fence="\`\`\`$1" '$0 == fence && !done { inside = 1; next } /^```$/ && inside { inside = 0; done = 1 }
        inside' README.md
}

echo "== manual pages"
for page in doc/*.[1-9]; do
    mandoc -T lint -W warning "$page"
    # As man shows it: no escape left unread.
    if MANWIDTH=1000 man -l "$page" 2>&1 | grep -E '\\[(*]'; then
        fail "man -l $page shows the escapes above"
    fi
done
# A quoted display name, one line with its spaces squeezed.
MANWIDTH=1000 man -l doc/lsmtp_send_mail.3 | tr -s ' ' | grep -oF '"Doe, Jane" <jane@example.org>' ||
    fail "man -l doc/lsmtp_send_mail.3 does not show \"Doe, Jane\" <jane@example.org>"

echo "== the README's build: the libraries and the tool, no tests"
dpkg-query -W libgtest-dev >/dev/null || fail "GoogleTest is not installed: the check needs it there"
user="$work/user"
cmake -S . -B "$user" -DLSMTP_WERROR=ON >/dev/null
grep -qx 'LSMTP_TESTS:BOOL=OFF' "$user/CMakeCache.txt" || fail "a bare configure turns the tests on"
cmake --build "$user" -j "$(nproc)"
if cmake --build "$user" --target help | grep -E 'lsmtp_tests|caller|client|gtest'; then
    fail "the README's build builds test programs"
fi
if cmake -S . -B "$work/bare-tests" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DLSMTP_TESTS=ON >/dev/null 2>&1; then
    fail "-DLSMTP_TESTS=ON without GoogleTest configured"
fi

echo "== the README's examples"
readme_block c >"$work/example.c"
readme_block python >"$work/send.py"
[ -s "$work/example.c" ] || fail "README.md holds no C example"
[ -s "$work/send.py" ] || fail "README.md holds no Python example"

version=$(sed -n 's/^#define LSMTP_VERSION "\(.*\)"$/\1/p' "$user/include/lsmtp.h")
[ -n "$version" ] || fail "the generated header names no version"

echo "== installed into a prefix"
prefix="$work/prefix"
# A folder that was there before the install, as /usr/local/share is.
mkdir -p "$prefix/share"
cmake --install "$user" --prefix "$prefix" >/dev/null
(cd "$prefix" && find . ! -type d | sort)
pcdir=$(dirname "$(find "$prefix" -name lsmtp.pc)")
libdir=$(dirname "$pcdir")
pc() { PKG_CONFIG_PATH="$pcdir" pkg-config "$@" lsmtp; }
[ "$(pc --variable=prefix)" = "$prefix" ] || fail "lsmtp.pc names the prefix $(pc --variable=prefix), not $prefix"
cflags=$(pc --cflags)
[ "${cflags% }" = "-I$prefix/include" ] || fail "pkg-config's flags are not plain paths: $cflags"
[ "$(pc --modversion)" = "$version" ] || fail "lsmtp.pc and lsmtp.h disagree on the version"

echo "== Python module beside the installed library"
# load_module FOLDER PREFIX: the module in FOLDER finds the library installed
# under PREFIX, with no help from the environment.
load_module() {
    env -u LSMTP_LIBRARY -u LD_LIBRARY_PATH "$python" -c "import sys; sys.path.insert(0, '$1')
import lsmtp; lsmtp.load_library(); print(lsmtp._library_candidates()[0])" | grep -q "^$2/" ||
        fail "the Python module in $1 does not find the library installed under $2"
}
load_module "$(dirname "$(find "$prefix" -name lsmtp.py)")" "$prefix"

echo "== C program through pkg-config"
# shellcheck disable=SC2046 # pkg-config's output is a list of flags
cc -o "$work/pkg-shared" "$work/example.c" $(pc --cflags --libs)
needs_lsmtp_so "$work/pkg-shared" || fail "the pkg-config program does not load liblsmtp.so"
LD_LIBRARY_PATH="$libdir" run_example "$work/pkg-shared"
# The README's static link with both libraries installed.
# shellcheck disable=SC2046
cc -o "$work/pkg-static-beside" "$work/example.c" $(pc --static --cflags --libs | sed 's/-llsmtp/-l:liblsmtp.a/')
! needs_lsmtp_so "$work/pkg-static-beside" || fail "the static program beside the shared library loads liblsmtp.so"
run_example "$work/pkg-static-beside"
static_prefix="$work/static-prefix"
cp -a "$prefix" "$static_prefix"
find "$static_prefix" -name 'liblsmtp.so*' -delete
static_pcdir=$(dirname "$(find "$static_prefix" -name lsmtp.pc)")
# shellcheck disable=SC2046
cc -o "$work/pkg-static" "$work/example.c" $(PKG_CONFIG_PATH="$static_pcdir" pkg-config --define-variable=prefix="$static_prefix" --static --cflags --libs lsmtp)
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

echo "== uninstalled"
cmake --build "$user" --target uninstall >/dev/null
left=$(cd "$work" && find prefix | sort | tr '\n' ' ')
[ "$left" = "prefix prefix/share " ] || fail "the uninstall left $left"

echo "== C parent with add_subdirectory, no GoogleTest, installing its program"
subproject="$work/subproject"
cmake -S tests/consumers/subproject -B "$subproject" -DLSMTP_SOURCE="$root" \
    -DEXAMPLE_SOURCE="$work/example.c" -DLSMTP_WERROR=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON --no-warn-unused-cli >/dev/null
cmake --build "$subproject" -j "$(nproc)"
if cmake --build "$subproject" --target help | grep -E 'lsmtp_tests|lsmtp_bench|gtest|lsmtp-send'; then
    fail "the parent builds lsmtp's tests, benchmarks or tool"
fi
if grep '"command": .*example\.c' "$subproject/compile_commands.json" | grep -E -- ' -W| -fsanitize| -std=c\+\+'; then
    fail "lsmtp's flags reach the parent's code"
fi
cmake --install "$subproject" --prefix "$work/parent-static" >/dev/null
[ "$(cd "$work/parent-static" && find . ! -type d)" = ./bin/example ] ||
    fail "the parent installed more than its program: $(cd "$work/parent-static" && find . ! -type d)"
! needs_lsmtp_so "$work/parent-static/bin/example" || fail "lsmtp::lsmtp is not static in a parent by default"
env -u LD_LIBRARY_PATH sh tests/netns-run.sh "$python" tests/consumers/run_example.py "$work/parent-static/bin/example"
cmake "$subproject" -DBUILD_SHARED_LIBS=ON -DLSMTP_INSTALL=ON >/dev/null
cmake --build "$subproject" -j "$(nproc)"
cmake --install "$subproject" --prefix "$work/parent-shared" >/dev/null
installed=$(cd "$work/parent-shared" && find . ! -type d | sort | tr '\n' ' ')
[ "$installed" = "./bin/example ./lib/liblsmtp.so.1 ./lib/liblsmtp.so.$version " ] ||
    fail "the parent with the shared library installed: $installed"
needs_lsmtp_so "$work/parent-shared/bin/example" || fail "BUILD_SHARED_LIBS=ON did not make lsmtp::lsmtp shared"
env -u LD_LIBRARY_PATH sh tests/netns-run.sh "$python" tests/consumers/run_example.py "$work/parent-shared/bin/example"

echo "== Debian packages"
sh scripts/package-deb.sh -DLSMTP_WERROR=ON
packages="$root/build/deb/packages"
for deb in "$packages"/*.deb; do
    echo "-- $(basename "$deb")"
    dpkg-deb -f "$deb" Package Version Architecture Section Depends Description
    dpkg-deb -c "$deb" | awk '!/^d/ { print "  " $6 ($7 ? " " $7 " " $8 : "") }'
done
runtime="$packages/liblsmtp1_${version}_amd64.deb"
dev="$packages/liblsmtp-dev_${version}_amd64.deb"
tool="$packages/lsmtp-send_${version}_amd64.deb"
module="$packages/python3-lsmtp_${version}_all.deb"
# depends DEB TEXT: DEB's Depends field holds TEXT.
depends() {
    dpkg-deb -f "$1" Depends | grep -qF "$2" || fail "$(basename "$1") does not depend on $2"
}
depends "$runtime" libc6
depends "$runtime" libstdc++6
depends "$dev" "liblsmtp1 (= $version)"
depends "$tool" libc6
depends "$module" "liblsmtp1 (>= $version)"
depends "$module" "python3"
dpkg-deb -I "$runtime" shlibs | grep -q "^liblsmtp 1 liblsmtp1 (>= $version)" ||
    fail "liblsmtp1 declares no shlibs entry for its soname"
dpkg-deb -I "$runtime" symbols | grep -q '^ lsmtp_send_mail@LSMTP_1 1\.0\.0$' ||
    fail "liblsmtp1's symbols file does not list lsmtp_send_mail"
# holds DEB PATTERN...: DEB has a file matching each PATTERN.
holds() {
    deb=$1
    shift
    contents=$(dpkg-deb -c "$deb")
    for pattern in "$@"; do
        echo "$contents" | grep -qE "$pattern" || fail "$(basename "$deb") has no $pattern"
    done
}
holds "$runtime" '/liblsmtp\.so\.1 ' '/liblsmtp\.so\.1\.' '/usr/share/doc/liblsmtp1/copyright$'
holds "$dev" '/usr/include/lsmtp\.h$' '/liblsmtp\.a$' '/liblsmtp\.so -> ' '/pkgconfig/lsmtp\.pc$' \
    '/cmake/lsmtp/lsmtpConfig\.cmake$' '/man3/lsmtp_send_mail\.3\.gz$' '/man3/lsmtp_send_mail_ex\.3\.gz -> ' \
    '/usr/share/doc/liblsmtp-dev/README\.md' '/usr/share/doc/liblsmtp-dev/examples/Lsmtp\.cs$'
holds "$tool" '/usr/bin/lsmtp-send$' '/man1/lsmtp-send\.1\.gz$' '/usr/share/doc/lsmtp-send/changelog\.gz$' \
    '/usr/share/doc/lsmtp-send/README$'
holds "$module" '/usr/lib/python3/dist-packages/lsmtp\.py$'
shared_files=$(for deb in "$runtime" "$dev" "$tool" "$module"; do
    dpkg-deb -c "$deb" | grep -v '^d' | awk '{ print $6 }'
done | sort | uniq -d)
[ -z "$shared_files" ] || fail "files in more than one package: $shared_files"
# Each binary is stripped, its symbols in the debug package.
for deb in "$runtime" "$tool"; do
    name=$(dpkg-deb -f "$deb" Package)
    [ -f "$packages/$name-dbgsym_${version}_amd64.deb" ] || fail "no debug symbols package for $name"
done
echo "-- lintian"
lintian --fail-on error,warning --display-info "$packages"/*.changes || fail "lintian found errors or warnings"
echo "lintian: no errors, no warnings"

echo "== the packages' files, unpacked into a folder"
unpacked="$work/unpacked"
for deb in "$runtime" "$dev" "$tool" "$module"; do
    dpkg -x "$deb" "$unpacked"
done
unpacked_pcdir=$(dirname "$(find "$unpacked" -name lsmtp.pc)")
[ "$(PKG_CONFIG_PATH="$unpacked_pcdir" pkg-config --variable=prefix lsmtp)" = /usr ] ||
    fail "the packaged lsmtp.pc does not name /usr"
# pkg-config's --define-prefix would take the folder above lib/ for the
# prefix, which a multiarch library folder puts one level too low.
# shellcheck disable=SC2046
cc -o "$work/deb-example" "$work/example.c" \
    $(PKG_CONFIG_PATH="$unpacked_pcdir" pkg-config --define-variable=prefix="$unpacked/usr" --cflags --libs lsmtp)
LD_LIBRARY_PATH=$(dirname "$unpacked_pcdir") run_example "$work/deb-example"
"$unpacked/usr/bin/lsmtp-send" --version | grep -qF "$version" || fail "the packaged lsmtp-send shows another version"
# The module's folder, once the packages are installed at /, is on Python
# 3's own path: "import lsmtp" needs no help.
module_dir=$(dpkg-deb -c "$module" | awk '$6 ~ /\/lsmtp\.py$/ { sub(/^\./, "", $6); sub(/\/lsmtp\.py$/, "", $6); print $6 }')
"$python" -I -c 'import sys; sys.exit(sys.argv[1] not in sys.path)' "$module_dir" ||
    fail "$module_dir is not on Python 3's default path"
load_module "$unpacked$module_dir" "$unpacked/usr"
PYTHONPATH="$unpacked$module_dir" run_example "$python" "$work/send.py"
# Another Python, as the README says: the module linked into a virtual
# environment, the library on the system's path (here, named by LSMTP_LIBRARY).
"$python" -m venv --without-pip "$work/venv"
ln -s "$unpacked$module_dir/lsmtp.py" "$("$work/venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("purelib"))')/"
LSMTP_LIBRARY="$(dirname "$unpacked_pcdir")/liblsmtp.so.1" run_example "$work/venv/bin/python" "$work/send.py"
# The module's own tests, run against the packaged copy.
mkdir -p "$work/python-tests"
cp bindings/python/test_lsmtp.py "$work/python-tests/"
env -u LSMTP_LIBRARY PYTHONPATH="$unpacked$module_dir" \
    sh tests/netns-run.sh "$python" "$work/python-tests/test_lsmtp.py" >"$work/python-tests/log" 2>&1 ||
    fail "the module's tests failed against the packaged module: $(cat "$work/python-tests/log")"
tail -n 3 "$work/python-tests/log"

echo "== the Python wheel, installed with pip into a virtual environment"
sh scripts/package-python.sh
if dpkg-query -W -f='${Status}' liblsmtp1 2>/dev/null | grep -q ' installed$'; then
    fail "liblsmtp1 is installed: the wheel is checked on a machine without it"
fi
wheel_venv="$work/wheel-venv"
"$python" -m venv "$wheel_venv"
(cd "$wheel_venv" && find . | sort) >"$work/wheel-venv-before"
export PIP_NO_CACHE_DIR=1 PIP_DISABLE_PIP_VERSION_CHECK=1
"$wheel_venv/bin/pip" install --no-index "build/python/dist/lsmtp-$version-py3-none-linux_x86_64.whl"
# The wheel's copy of the library, beside the module, is the one loaded.
site=$("$wheel_venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
loaded=$(env -u LSMTP_LIBRARY -u LD_LIBRARY_PATH "$wheel_venv/bin/python" -c \
    'import lsmtp; lsmtp.load_library(); print(lsmtp._library._name, lsmtp.__version__)')
[ "$loaded" = "$site/liblsmtp.so.1 $version" ] || fail "the wheel's module loaded $loaded"
env -u LSMTP_LIBRARY -u LD_LIBRARY_PATH sh tests/netns-run.sh "$python" tests/consumers/run_example.py \
    "$wheel_venv/bin/python" "$work/send.py"
"$wheel_venv/bin/pip" uninstall -y lsmtp
(cd "$wheel_venv" && find . | sort) >"$work/wheel-venv-after"
diff "$work/wheel-venv-before" "$work/wheel-venv-after" || fail "pip uninstall lsmtp left the files above"

echo "== the README's relay recipe: Postfix relaying with STARTTLS and authentication"
sh tests/relay/run.sh "$user/tools/lsmtp-send"
echo "== install and package checks passed"
