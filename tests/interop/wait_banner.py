"""Waits until ADDR:25 greets with a 220 reply.

Readiness is a connection that reads the greeting, tried a bounded number
of times; exits 1 when the server never greets.
"""
import socket
import sys
import time

TRIES = 300          # with the pause below, about 15 s in all
PAUSE_SECONDS = 0.05


def greets(addr):
    try:
        with socket.create_connection((addr, 25), timeout=5) as conn:
            return conn.makefile("rb").readline().startswith(b"220")
    except OSError:
        return False


def main():
    addr = sys.argv[1]
    for _ in range(TRIES):
        if greets(addr):
            return 0
        time.sleep(PAUSE_SECONDS)
    return 1


if __name__ == "__main__":
    sys.exit(main())
