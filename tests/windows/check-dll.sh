#!/bin/sh
# lsmtp.dll exports lsmtp_send_mail alone, undecorated; imports nothing but
# what Windows ships (KERNEL32, msvcrt, Windows Sockets, the system's
# random source in bcrypt); and carries the
# project's version in its version information.
# Usage: check-dll.sh OBJDUMP DLL VERSION
objdump="$1"
dll="$2"
version="$3"
table=$("$objdump" -p "$dll") || exit 1
exports=$(printf '%s\n' "$table" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[ *[0-9]+\]/ { print $NF }')
imports=$(printf '%s\n' "$table" | awk '/DLL Name:/ { print $3 }' | sort -u | tr '\n' ' ')
status=0
if [ "$exports" != "lsmtp_send_mail" ]; then
    echo "unexpected exports: $exports"
    status=1
fi
for name in $imports; do
    case "$name" in
        KERNEL32.dll | msvcrt.dll | WS2_32.dll | WSOCK32.dll | bcrypt.dll) ;;
        *) echo "unexpected import: $name"; status=1 ;;
    esac
done
case " $imports" in
    *" WS2_32.dll "* | *" WSOCK32.dll "*) ;;
    *) echo "no Windows Sockets import"; status=1 ;;
esac
# The version strings are UTF-16 in the resource section.
found=$(strings -el "$dll" | sed -n '/^ProductVersion$/{n;p;}')
if [ "$found" != "$version" ]; then
    echo "product version '$found', expected '$version'"
    status=1
fi
echo "exports: $exports; imports: $imports; version: $found"
exit $status
