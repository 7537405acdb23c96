#!/bin/sh
# Interoperability suite: lsmtp-send against Postfix, Exim, OpenSMTPD and
# aiosmtpd, each on its own 127.0.0.x:25 inside a private network namespace,
# each delivering into Maildirs that check.py then reads, with Python's email
# package, munpack, ripmime, GMime and Node's mailparser.
#
#   sh tests/interop/run.sh PATH/TO/lsmtp-send
#
# Run as root on Debian 12; what is missing is installed with apt. Set
# LSMTP_INTEROP_KEEP=1 to keep the servers' folders (logs, mail) afterwards.
set -eu
INTEROP_DIR=$(cd "$(dirname "$0")" && pwd)
. "$INTEROP_DIR/servers.sh"

if [ "${1-}" != --inside ]; then
    [ $# -eq 1 ] || interop_fail "usage: sh tests/interop/run.sh PATH/TO/lsmtp-send"
    [ -x "$1" ] || interop_fail "no lsmtp-send at $1"
    [ "$(id -u)" -eq 0 ] || interop_fail "the servers need root: run as root"
    send="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
    interop_install_all
    exec unshare --net sh "$INTEROP_DIR/run.sh" --inside "$send"
fi

send=$2
ip link set lo up
work=$(mktemp -d /tmp/lsmtp-interop.XXXXXX)
chmod 755 "$work"
capture_pid=""

cleanup() {
    status=$?
    trap - EXIT INT TERM
    postfix_stop "$work/postfix"
    exim_stop "$work/exim"
    opensmtpd_stop "$work/opensmtpd"
    [ -n "$capture_pid" ] && kill "$capture_pid" 2>/dev/null
    wait
    if [ "${LSMTP_INTEROP_KEEP:-0}" = 1 ]; then
        echo "kept $work" >&2
    else
        rm -rf "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mailboxes=$(/usr/bin/python3 "$INTEROP_DIR/check.py" --mailboxes)
# shellcheck disable=SC2086
{
    postfix_setup "$work/postfix" 127.0.0.3 $mailboxes
    exim_setup "$work/exim" 127.0.0.4 $mailboxes
    opensmtpd_setup "$work/opensmtpd" 127.0.0.5 $mailboxes
}
mkdir -p "$work/aiosmtpd/mail"

postfix_start "$work/postfix"
exim_start "$work/exim"
opensmtpd_start "$work/opensmtpd"
# shellcheck disable=SC2086
/usr/bin/python3 "$INTEROP_DIR/capture.py" 127.0.0.6 "$work/aiosmtpd/mail" $mailboxes \
    >"$work/aiosmtpd/log" 2>&1 &
capture_pid=$!

interop_wait_banner 127.0.0.3 Postfix
interop_wait_banner 127.0.0.4 Exim
interop_wait_banner 127.0.0.5 OpenSMTPD
interop_wait_banner 127.0.0.6 aiosmtpd

servers_sh="$INTEROP_DIR/servers.sh"
queue() { echo "INTEROP_DIR='$INTEROP_DIR' . '$servers_sh'; $1 '$2'"; }
/usr/bin/python3 "$INTEROP_DIR/check.py" --send "$send" --work "$work/check" \
    --server postfix 127.0.0.3 "$work/postfix/mail" "$(queue postfix_queue_empty "$work/postfix")" \
    --server exim 127.0.0.4 "$work/exim/mail" "$(queue exim_queue_empty "$work/exim")" \
    --server opensmtpd 127.0.0.5 "$work/opensmtpd/mail" "$(queue opensmtpd_queue_empty "$work/opensmtpd")" \
    --server aiosmtpd 127.0.0.6 "$work/aiosmtpd/mail" true \
    --reader gmime "'$INTEROP_READERS/gmime-read'" \
    --reader mailparser "env 'NODE_PATH=$INTEROP_READERS/node_modules' node '$INTEROP_DIR/readers/mailparser_read.js'"
