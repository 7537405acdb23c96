#!/bin/sh
# Checks of the lsmtp-send command line, one group per run:
#   sh cli-test.sh GROUP PATH/TO/lsmtp-send PROJECT_VERSION
# Groups: usage, attachments, help, version, no_server (the last inside a network
# namespace where nothing listens on port 25). Exit statuses as sysexits.h numbers them.
# shellcheck disable=SC2086 # $base is split into words on purpose
set -u
group=$1 send=$2 version=$3
passed=0 failed=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# run ARGS...: runs lsmtp-send, keeping its exit status, stdout and stderr.
run() {
    "$send" "$@" >"$scratch/out" 2>"$scratch/err" </dev/null
    status=$?
}

ok() { passed=$((passed + 1)); }
bad() {
    failed=$((failed + 1))
    echo "FAIL: $*"
    echo "  stdout: $(cat "$scratch/out")"
    echo "  stderr: $(cat "$scratch/err")"
}

# expect STATUS STREAM TEXT WHAT: the last run exited with STATUS and STREAM
# (out or err) contains TEXT.
expect() {
    if [ "$status" -ne "$1" ]; then
        bad "$4: exit $status, expected $1"
    elif ! grep -qF -- "$3" "$scratch/$2"; then
        bad "$4: '$3' missing from std$2"
    else
        ok
    fi
}

# usage_error TEXT WHAT ARGS...: exit 64, TEXT on stderr, nothing on stdout.
usage_error() {
    text=$1 what=$2
    shift 2
    run "$@"
    expect 64 err "$text" "$what"
    if [ -s "$scratch/out" ]; then bad "$what: a usage error printed on stdout"; fi
}

# The common flags of most runs.
base="--host 127.0.0.1 --from a@any.test --to b@any.test"

case "$group" in
usage)
    usage_error "--host is required" "no arguments"
    usage_error "--host is required" "no host" --from a@any.test
    usage_error "--from is required" "no sender" --host 127.0.0.1 --to b@any.test
    usage_error "unknown option '--frob'" "unknown flag" $base --frob 1
    usage_error "unknown option '--frob'" "unknown flag with a value" --frob=1 $base
    usage_error "unexpected argument 'stray'" "stray argument" $base stray
    usage_error "--to needs a value" "flag without its value" --host 127.0.0.1 --from a@any.test --to
    usage_error "--subject is given twice" "repeated flag" $base --subject a --subject b
    usage_error "--host '127.0.0.2:587': the port is always 25: give the host alone" "host with a port" \
        --host 127.0.0.2:587 --from a@any.test --to b@any.test
    usage_error "--host is given twice" "repeated flag in both forms" $base --host=127.0.0.2
    usage_error "--body and --body-file cannot be used together" "two bodies" $base --body x --body-file -
    run $base --body-file "$scratch/none"
    expect 66 err "lsmtp-send: --body-file '$scratch/none': cannot be read" "missing body file"
    # Not named "nul": on Windows that name is the null device in every folder.
    printf 'a\000b' >"$scratch/zero-byte.txt"
    run $base --body-file "$scratch/zero-byte.txt"
    expect 65 err "holds a NUL byte" "body with a NUL byte"
    : >"$scratch/plain.txt"
    usage_error "--attach '$scratch/a;b'" "attachment path with ;" $base --attach "$scratch/a;b"
    usage_error "may not contain \",\" or \";\"" "attachment path with ," \
        $base --attach "$scratch/plain.txt" --attach "$scratch/a,b"
    usage_error "may not begin or end with white space" "attachment path ending in a space" \
        $base --attach "$scratch/plain.txt "
    usage_error "--attach needs a file path" "empty attachment path" $base --attach ""
    for to in "" " ; , "; do
        usage_error "no recipient: give --to, --cc or --bcc" "recipients '$to'" \
            --host 127.0.0.1 --from a@any.test --to "$to" --cc ","
    done
    usage_error "no recipient" "no recipient flag" --host 127.0.0.1 --from a@any.test --subject s
    usage_error "unknown option '--frob'" "unknown flag after --quiet, which takes no value" --quiet --frob
    ;;
attachments)
    # Checked before any connection: exit 66 and the file's name first.
    : >"$scratch/plain.txt"
    mkdir "$scratch/folder"
    for case in "none.txt:no such file" "folder:is a folder, not a file"; do
        name=${case%%:*}
        run $base --attach "$scratch/plain.txt" --attach "$scratch/$name"
        expect 66 err "lsmtp-send: attachment '$scratch/$name': ${case#*:}" "attachment $name"
        if [ -s "$scratch/out" ]; then bad "attachment $name: a result line printed on stdout"; fi
    done
    printf 'secret' >"$scratch/locked.txt"
    chmod 000 "$scratch/locked.txt"
    # Whoever may read a file with no permissions at all (root) cannot test this.
    if [ ! -r "$scratch/locked.txt" ]; then
        run $base --attach "$scratch/locked.txt"
        expect 66 err "attachment '$scratch/locked.txt': cannot be read" "unreadable attachment"
    fi
    ;;
help)
    run -h
    expect 0 out "Usage: lsmtp-send" "-h"
    run --help
    expect 0 out "Usage: lsmtp-send" "--help"
    for flag in --host --from --to --cc --bcc --subject --body --body-file --attach --from-header \
        --to-header --cc-header --bcc-header --reply-to --receipt-to --comments --mailer --quiet; do
        if grep -q -- "^  $flag " "$scratch/out"; then ok; else bad "--help does not describe $flag"; fi
    done
    for flag in "-v, --verbose" "-h, --help" "-V, --version"; do
        if grep -q -- "^  $flag " "$scratch/out"; then ok; else bad "--help does not describe $flag"; fi
    done
    for status in 0 64 65 66 68 69 70 71 73 74 75 76; do
        if grep -q "^  $status  " "$scratch/out"; then ok; else bad "--help lacks exit status $status"; fi
    done
    for code in "700 SMTP_ERR_CONNECT" "710 SMTP_ERR_SOCKET" "711 SMTP_ERR_RECV" "712 SMTP_ERR_REPLY" \
        "713 SMTP_ERR_TIMEOUT" "720 SMTP_ERR_ENCODE_CREATE" "721 SMTP_ERR_ATTACH_OPEN" "730 SMTP_ERR_WRITE" \
        "740 SMTP_ERR_ARGUMENT" "750 SMTP_ERR_MEMORY"; do
        if grep -qF -- "$code" "$scratch/out"; then ok; else bad "--help lacks '$code'"; fi
    done
    # The example is a whole command that passes the tool's own checks.
    if grep -q -- "^  lsmtp-send --host .* --from " "$scratch/out" && grep -q -- "--attach report.pdf" "$scratch/out"; then
        ok
    else
        bad "--help has no full example"
    fi
    # Flags are read in order: an unknown one before --help is reported.
    run --frob --help
    expect 64 err "unknown option '--frob'" "--help after an unknown flag"
    run --to x --help
    expect 0 out "Usage: lsmtp-send" "--help after a flag"
    # Output that cannot be written is a failure of its own (74).
    if [ -w /dev/full ]; then
        "$send" --help >/dev/full 2>"$scratch/err"
        status=$?
        expect 74 err "standard output cannot be written" "--help to a full device"
    fi
    "$send" --help >&- 2>"$scratch/err"
    status=$?
    expect 74 err "standard output cannot be written" "--help to a closed standard output"
    ;;
version)
    for flag in --version -V; do
        run $flag
        expect 0 out "lsmtp-send $version" "$flag"
        if [ "$(wc -l <"$scratch/out")" -eq 1 ]; then ok; else bad "$flag prints more than one line"; fi
    done
    ;;
no_server)
    # A refused connection is worth trying again later (75), and so is a
    # lookup no resolver answers, as none does in this namespace.
    run $base --subject hello --body text
    expect 75 out "700 SMTP_ERR_CONNECT: no connection to the server" "refused connection"
    expect 75 err "lsmtp-send: cannot connect to 127.0.0.1 port 25: 127.0.0.1: " "refused connection told"
    expect 75 err ", \"Reaching a mail provider\" for sending through a relay" "refused connection hint"
    run --host no-such-host.invalid --from a@any.test --to b@any.test
    expect 75 err "cannot connect to no-such-host.invalid: the name could not be looked up for now (" "lookup told"
    # Copies alone are recipients enough to go on and connect, and each list
    # may be given more than once.
    for only in --cc --bcc; do
        run --host 127.0.0.1 --from a@any.test "$only" b@any.test "$only" c@any.test
        expect 75 out "700 SMTP_ERR_CONNECT" "$only alone, twice"
    done
    # A header value that would start a header of its own is refused before
    # any connection: 740, not 700, even with no server to reach.
    run $base --subject "$(printf 'hello\r\nBcc: victim@any.test')"
    expect 65 out "740 SMTP_ERR_ARGUMENT" "subject with an injected header"
    expect 65 err "lsmtp-send: --subject: refused subject: a line break that is not a fold" "argument refusal told"
    run --host 127.0.0.1 --from a@any.test --to "$(printf 'b@any.test\r\nRCPT TO:<c@any.test>')"
    expect 65 out "740 SMTP_ERR_ARGUMENT" "recipient list with an injected command"
    # A fold (CR LF then a blank) is allowed, so the call goes on to connect.
    run $base --subject "$(printf 'hello\r\n world')"
    expect 75 out "700 SMTP_ERR_CONNECT" "folded subject"
    # The body may come from standard input; with no server the result is 700.
    printf 'from stdin\n' | "$send" $base --body-file - >"$scratch/out" 2>"$scratch/err"
    status=$?
    expect 75 out "700 SMTP_ERR_CONNECT" "body from standard input"
    ;;
*)
    echo "unknown group $group"
    exit 2
    ;;
esac

echo "cli $group: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
