#!/bin/sh
# Runs a command inside a private network namespace whose loopback is up, so
# that tests may listen on port 25 without meeting any server of the host or
# each other.
if [ "${1-}" = --inside ]; then
    shift
    ip link set lo up || exit 1
    exec "$@"
fi
if [ "$(id -u)" -eq 0 ]; then
    exec unshare --net "$0" --inside "$@"
fi
exec unshare --user --map-root-user --net "$0" --inside "$@"
