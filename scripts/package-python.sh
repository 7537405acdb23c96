#!/bin/sh
# Builds the Python module's wheels into build/python/dist/ with Debian's
# python3-build, python3-setuptools and python3-wheel, offline:
#   lsmtp-VERSION-py3-none-linux_x86_64.whl: lsmtp.py and liblsmtp.so.1,
#     linked with the C++ and GCC runtimes inside, so that it needs only the
#     C library;
#   lsmtp-VERSION-py3-none-win_amd64.whl and lsmtp-VERSION-py3-none-win32.whl:
#     lsmtp.py and the release lsmtp.dll of each architecture, as
#     scripts/package-windows.sh builds them.
# The module loads the library beside it before any other. Each wheel's
# files, tags and library are checked, and its file list shown.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh --only g++ cmake make binutils unzip python3 python3-build python3-setuptools \
    python3-wheel
python=/usr/bin/python3
version=$(sed -n 's/^project(lsmtp VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=build/python
dist="$out/dist"

fail() {
    echo "package-python: $*" >&2
    exit 1
}

# The release build of the DLLs, and the Linux library that the NuGet
# package carries too, checked there to need only the C library.
sh scripts/package-windows.sh
linux=build/package-linux-x64
module="$linux/python/lsmtp.py"
grep -qx "__version__ = \"$version\"" "$module" || fail "$module does not carry the version $version"

rm -rf "$dist"
mkdir -p "$dist"
# wheel PLATFORM LIBRARY: builds and checks the wheel for PLATFORM.
wheel() {
    platform=$1
    library=$2
    stage="$out/stage-$platform"
    rm -rf "$stage"
    mkdir -p "$stage"
    cp bindings/python/pyproject.toml bindings/python/setup.py LICENSE "$module" "$library" "$stage/"
    printf '[bdist_wheel]\nplat_name = %s\n' "$platform" >"$stage/setup.cfg"
    # Files dated as the last commit, not as the build.
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s) \
        "$python" -m build --wheel --no-isolation --outdir "$dist" "$stage" >"$stage.log" 2>&1 ||
        fail "the $platform wheel did not build: $(cat "$stage.log")"

    file="$dist/lsmtp-$version-py3-none-$platform.whl"
    [ -f "$file" ] || fail "no $file among: $(ls "$dist")"
    info="lsmtp-$version.dist-info"
    name=$(basename "$library")
    files=$(unzip -Z1 "$file" | sort | tr '\n' ' ')
    expected=$(printf '%s\n' lsmtp.py "$name" "$info/LICENSE" "$info/METADATA" "$info/RECORD" "$info/WHEEL" \
        "$info/top_level.txt" | sort | tr '\n' ' ')
    [ "$files" = "$expected" ] || fail "$file holds $files, not $expected"
    unzip -p "$file" "$info/WHEEL" | grep -qx "Tag: py3-none-$platform" || fail "$file is not tagged py3-none-$platform"
    unzip -p "$file" "$info/WHEEL" | grep -qx "Root-Is-Purelib: false" ||
        fail "$file installs as a pure module, though it carries a library"
    unzip -p "$file" "$info/METADATA" | grep -qx "Version: $version" || fail "$file's metadata is not version $version"
    unzip -p "$file" "$name" | cmp -s - "$library" || fail "$file's $name is not $library"
    unzip -p "$file" lsmtp.py | cmp -s - "$module" || fail "$file's lsmtp.py is not $module"
    unzip -l "$file"
    unzip -p "$file" "$info/WHEEL" | grep '^Tag: '
}
wheel linux_x86_64 "$linux/liblsmtp.so.1"
wheel win_amd64 build/package-x64/bin/lsmtp.dll
wheel win32 build/package-x86/bin/lsmtp.dll
