#!/bin/sh
# Sends a real message with a body and an attachment through lsmtp-send to a
# throwaway Postfix on loopback, shows what was delivered, and cleans up.
# Postfix runs inside a private network namespace with its configuration,
# queue and mail in a temporary folder: a mail server this machine already
# runs is neither used nor touched. Run as root on Debian 12; what is missing
# is installed with apt.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
INTEROP_DIR="$root/tests/interop"
. "$INTEROP_DIR/servers.sh"
address=127.0.0.2
send="$root/build/demo/tools/lsmtp-send"

if [ "${1-}" != --inside ]; then
    [ "$(id -u)" -eq 0 ] || interop_fail "the demo starts a mail server: run it as root"
    echo "== installing what is missing"
    sh "$root/scripts/install-deps.sh"
    interop_install_postfix
    interop_apt_install python3 iproute2 util-linux
    echo "== building lsmtp-send in build/demo"
    cmake -S "$root" -B "$root/build/demo" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLSMTP_TESTS=OFF >/dev/null
    cmake --build "$root/build/demo" --target lsmtp-send -j "$(nproc)" >/dev/null
    exec unshare --net sh "$root/scripts/demo.sh" --inside
fi

ip link set lo up
work=$(mktemp -d /tmp/lsmtp-demo.XXXXXX)
chmod 755 "$work"
cleanup() {
    status=$?
    trap - EXIT INT TERM
    echo "== stopping Postfix and removing $work"
    postfix_stop "$work/postfix"
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "== starting a throwaway Postfix on $address:25 (private network namespace)"
postfix_setup "$work/postfix" "$address" demo
postfix_start "$work/postfix"
interop_wait_banner "$address" Postfix

mkdir "$work/files"
attachment="$work/files/sample data.bin"
head -c 100000 /dev/urandom >"$attachment"
echo "== sending: lsmtp-send --host $address --to demo@$INTEROP_DOMAIN --attach '$(basename "$attachment")' ..."
"$send" --host "$address" --from "lsmtp-demo@$INTEROP_DOMAIN" --to "demo@$INTEROP_DOMAIN" \
    --subject "lsmtp demo" --comments "sent by scripts/demo.sh" \
    --body "$(printf 'Hello from lsmtp.\nThe attached file holds 100000 random bytes.\n.\nThe line above is a single dot.')" \
    --attach "$attachment"

# Postfix delivers a moment after it accepts; wait for the file, a bounded
# number of times.
mailbox="$work/postfix/mail/demo/new"
tries=0
while [ -z "$(ls -A "$mailbox" 2>/dev/null)" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 300 ] || interop_fail "Postfix accepted the message but delivered nothing within 30 s"
    sleep 0.1
done
delivered=$(find "$mailbox" -type f | head -n 1)
echo "== delivered to $delivered"
/usr/bin/python3 "$INTEROP_DIR/show_message.py" "$delivered" "$attachment"
