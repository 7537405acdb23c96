#!/bin/sh
# lsmtp.dll exports lsmtp_send_mail and lsmtp_send_mail_ex alone,
# undecorated, at ordinals 1 and 2; imports nothing but
# what Windows ships (KERNEL32, msvcrt, Windows Sockets, the system's
# random source in bcrypt); and carries the
# project's version in its version information.
# Usage: check-dll.sh OBJDUMP DLL VERSION
objdump="$1"
dll="$2"
version="$3"
table=$("$objdump" -p "$dll") || exit 1
# Each export as name@ordinal: the name table counts from the ordinal base.
exports=$(printf '%s\n' "$table" | awk '/Export Address Table -- Ordinal Base/ { base = $NF }
    /^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
    /^$/ { names = 0 }
    names && /\[ *[0-9]+\]/ { gsub(/[][]/, ""); print $2 "@" $1 + base }' | tr '\n' ' ')
imports=$(printf '%s\n' "$table" | awk '/DLL Name:/ { print $3 }' | sort -u | tr '\n' ' ')
status=0
if [ "$exports" != "lsmtp_send_mail@1 lsmtp_send_mail_ex@2 " ]; then
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
