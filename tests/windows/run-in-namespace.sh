#!/bin/sh
# Runs inside the private network namespace: starts this prefix's
# wineserver here, warms it up once, runs COMMAND, stops the server.
# Usage: run-in-namespace.sh COMMAND [ARG...]
set -u
# A server left from an earlier run lives in another namespace: stop it.
wineserver -k 2>/dev/null
wineserver -w
# The server stays up between the tests only when it starts in persistent
# mode, and it cannot start in a prefix folder that does not exist yet.
mkdir -p "$WINEPREFIX"
wineserver -p || exit 1
# The first start creates or updates the prefix (seconds); later starts
# reuse the running server and take a fraction of a second.
wine cmd /c exit >/dev/null 2>&1
"$@"
status=$?
wineserver -k
exit $status
