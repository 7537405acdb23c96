#!/bin/sh
# Builds the part of Free Pascal's win64 runtime that a console program
# with SysUtils needs, from Debian's fpc-source (Debian ships the compiler's
# Linux runtime only). Takes seconds: the compiler targets win64 itself,
# with its own assembler and linker.
# Usage: build-rtl-win64.sh OUTPUT_FOLDER
set -eu
out="$1"
version=$(fpc -iV)
rtl="/usr/share/fpcsrc/$version/rtl"
[ -d "$rtl/win64" ] || { echo "no $rtl/win64: install fpc-source-$version" >&2; exit 1; }
mkdir -p "$out"
set -- -Twin64 -Px86_64 -n -Sg -O2 -FU"$out" -Fu"$out" -Fu"$rtl/win64" -Fi"$rtl/win64" \
    -Fi"$rtl/inc" -Fi"$rtl/x86_64" -Fi"$rtl/win" -Fi"$rtl/win/wininc" -Fi"$rtl/objpas" -Fi"$rtl/objpas/sysutils" \
    -Fu"$rtl/inc" -Fu"$rtl/x86_64" -Fu"$rtl/win" -Fu"$rtl/objpas"
# The system unit first, built as such (-Us); then what it leaves to units.
fpc "$@" -Us "$rtl/win64/system.pp"
for unit in win64/sysinit.pp objpas/objpas.pp inc/fpintres.pp win/sysutils.pp; do
    fpc "$@" "$rtl/$unit"
done
