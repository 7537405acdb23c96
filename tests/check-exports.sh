#!/bin/sh
# The shared library must export lsmtp_send_mail and lsmtp_send_mail_ex and
# nothing else, each in its version node.
library="$1"
exports=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TDBRVWiu]$/ { print $3 }' | sort -u | tr '\n' ' ')
if [ "$exports" != "lsmtp_send_mail@@LSMTP_1 lsmtp_send_mail_ex@@LSMTP_1.2 " ]; then
    echo "unexpected exports of $library:"
    echo "$exports"
    exit 1
fi
soname=$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')
case "$soname" in
    liblsmtp.so.[0-9]*) ;;
    *) echo "unexpected soname: $soname"; exit 1 ;;
esac
echo "exports: $exports; soname: $soname"
