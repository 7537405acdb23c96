#!/bin/sh
# Both import libraries define the symbols a caller's compiler looks for:
# on x86 the __stdcall decorations _lsmtp_send_mail@64 and
# _lsmtp_send_mail_ex@72 (and their __imp_ pointers), on x64 the plain
# names. The MSVC library imports the plain export names: on x86 through the
# undecorate rule (drop "_" and "@NN"). Programs
# linked through each library and run under Wine show that the DLL really
# resolves what they import.
# Usage: check-import-libraries.sh LLVM_NM LLVM_READOBJ POINTER_SIZE MINGW_LIB MSVC_LIB
nm="$1"
readobj="$2"
pointer_size="$3"
shift 3
if [ "$pointer_size" = 4 ]; then
    symbols="_lsmtp_send_mail@64 __imp__lsmtp_send_mail@64 _lsmtp_send_mail_ex@72 __imp__lsmtp_send_mail_ex@72"
    name_type="undecorate"
else
    symbols="lsmtp_send_mail __imp_lsmtp_send_mail lsmtp_send_mail_ex __imp_lsmtp_send_mail_ex"
    name_type="name"
fi
status=0
for library in "$@"; do
    defined=$("$nm" --defined-only "$library" | awk 'NF == 3 && $3 ~ /lsmtp_send_mail/ { print $3 }' | sort | tr '\n' ' ')
    expected=$(printf '%s\n' $symbols | sort | tr '\n' ' ')
    if [ "$defined" != "$expected" ]; then
        echo "$library defines '$defined', expected '$expected'"
        status=1
    fi
done
msvc_library="$2"
# One name type for every import, so the same for both.
found=$("$readobj" "$msvc_library" | sed -n 's/^Name type: //p' | sort -u)
if [ "$found" != "$name_type" ]; then
    echo "$msvc_library: import name type '$found', expected '$name_type'"
    status=1
fi
echo "symbols: $symbols; MSVC import name type: $found"
exit $status
