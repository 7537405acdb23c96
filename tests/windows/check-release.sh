#!/bin/sh
# Checks the Windows release in DIST as a user there meets it:
# - SHA256SUMS names both archives and the NuGet package and nothing
#   else, and verifies them;
# - each archive unpacks into the one folder lsmtp-VERSION-win-ARCH holding
#   exactly the expected files, the modules built for ARCH, the text files
#   ASCII with Windows line ends;
# - lsmtp.dll and lsmtp-send.exe carry their version information as Windows
#   reads it (GetFileVersionInfoW, under Wine);
# - the Pascal unit, compiled for win64 with Free Pascal, sends a message to
#   a real SMTP server through the x64 archive's DLL;
# - the NuGet package passes the checks of check-nuget.sh.
# Runs under run-in-namespace.sh (Wine and its server in a private network
# namespace, port 25 free). WORK is a scratch folder.
# Usage: check-release.sh DIST VERSION WORK
set -u
dist="$1"
version="$2"
work="$3"
here="$(cd "$(dirname "$0")" && pwd)"
source="$(cd "$here/../.." && pwd)"
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
zips="lsmtp-$version-win-x64.zip lsmtp-$version-win-x86.zip"

listed=$(awk '{ print $2 }' "$dist/SHA256SUMS" | sort | tr '\n' ' ')
[ "$listed" = "$(printf '%s\n' $zips "Lsmtp.$version.nupkg" | sort | tr '\n' ' ')" ] || fail "SHA256SUMS lists: $listed"
(cd "$dist" && sha256sum --strict --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"

# What Windows shows of a module: the numbers, the type and the strings.
copyright=$(grep -m 1 '^Copyright ' "$source/LICENSE")
authors=$(printf '%s\n' "$copyright" | sed 's/^Copyright ([cC]) [-0-9, ]* //')
x86_64-w64-mingw32-gcc -std=c99 -O2 -municode -o "$work/version_info.exe" "$here/version_info.c" -lversion ||
    fail "version_info.exe does not build"
check_version_info() { # MODULE FILE_TYPE
    shown=$(wine "$work/version_info.exe" "$(winepath -w "$1")" | tr -d '\r')
    expected="FILEVERSION=$version.0
PRODUCTVERSION=$version.0
FILETYPE=$2
CompanyName=$authors
FileVersion=$version
LegalCopyright=$copyright
OriginalFilename=${1##*/}
ProductName=lsmtp
ProductVersion=$version"
    # The description and internal name are free text: present is enough.
    got=$(printf '%s\n' "$shown" | grep -v -e '^FileDescription=.' -e '^InternalName=.')
    [ "$got" = "$expected" ] && [ "$(printf '%s\n' "$shown" | wc -l)" -eq 11 ] ||
        fail "${1##*/}: version information
$shown"
}

for arch in x64 x86; do
    name="lsmtp-$version-win-$arch"
    folder="$work/$arch"
    mkdir -p "$folder"
    unzip -q "$dist/$name.zip" -d "$folder" || fail "$name.zip does not unpack"
    tree=$(cd "$folder" && find . -type f | sort | sed 's|^\./||')
    expected=$(printf "$name/%s\n" LICENSE README-windows.txt bin/lsmtp-send.exe bin/lsmtp.dll bindings/Lsmtp.cs \
        bindings/lsmtp.bas bindings/lsmtp.pas include/lsmtp.h lib/liblsmtp.dll.a lib/lsmtp.def lib/lsmtp.lib | sort)
    [ "$tree" = "$expected" ] || fail "$name.zip holds:
$tree"
    echo "$name.zip:"
    printf '%s\n' "$tree" | sed 's/^/  /'

    case "$arch" in
        x64) format=pei-x86-64 ;;
        x86) format=pei-i386 ;;
    esac
    for module in bin/lsmtp.dll bin/lsmtp-send.exe; do
        objdump -f "$folder/$name/$module" | grep -q "file format $format" || fail "$name/$module is not $format"
    done
    check_version_info "$folder/$name/bin/lsmtp.dll" VFT_DLL
    check_version_info "$folder/$name/bin/lsmtp-send.exe" VFT_APP

    for text in README-windows.txt LICENSE bindings/Lsmtp.cs bindings/lsmtp.bas bindings/lsmtp.pas; do
        file="$folder/$name/$text"
        LC_ALL=C grep -q '[^[:print:][:space:]]' "$file" && fail "$name/$text is not ASCII"
        # Every line ends in CR LF.
        [ "$(grep -c "$(printf '\r')\$" "$file")" -eq "$(wc -l <"$file")" ] || fail "$name/$text: not CR LF line ends"
    done
done

# The Pascal program for win64, beside the DLL from the x64 archive.
pascal="$work/pascal"
if sh "$source/tests/pascal/build-rtl-win64.sh" "$pascal/rtl" >"$work/rtl.log" 2>&1; then
    fpc -Twin64 -Px86_64 -n -O2 -Fu"$pascal/rtl" -Fu"$source/bindings/pascal" -FU"$pascal" -FE"$pascal" \
        "$source/tests/pascal/send_mail.pas" >"$work/pascal.log" 2>&1 || { cat "$work/pascal.log"; fail "Pascal program does not build"; }
    cp "$work/x64/lsmtp-$version-win-x64/bin/lsmtp.dll" "$pascal/"
    /usr/bin/python3 "$here/dll_host_test.py" --wine wine "$pascal/send_mail.exe" || fail "Pascal program under Wine"
else
    cat "$work/rtl.log"
    fail "Free Pascal's win64 runtime does not build"
fi

. "$here/check-nuget.sh"

echo "release checks: $failures failed"
[ "$failures" -eq 0 ]
