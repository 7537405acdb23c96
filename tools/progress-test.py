"""lsmtp-send's progress line: drawn when standard error is a terminal and
the attachments are large; not with --quiet, not on a pipe, not for small
files. A real terminal (a pseudo-terminal) and a real SMTP server (aiosmtpd
on 127.0.0.1:25) take part.

Usage: progress-test.py PATH/TO/lsmtp-send
Runs inside the test's private network namespace, where port 25 is free.
"""
import os
import re
import subprocess
import sys
import tempfile

from aiosmtpd.controller import Controller

LINE = re.compile(r"lsmtp-send: encoded ([0-9.]+) MB, sent ([0-9.]+) of ([0-9.]+) MB, [0-9.]+ MB/s")


class Count:
    def __init__(self):
        self.messages = 0

    async def handle_DATA(self, server, session, envelope):
        self.messages += 1
        return "250 OK"


def run(command, on_terminal):
    """Runs the command; returns its exit status and what it wrote on
    standard error, through a pseudo-terminal when `on_terminal`."""
    if not on_terminal:
        done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
        return done.returncode, done.stderr.decode()
    main_end, terminal_end = os.openpty()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=terminal_end)
    os.close(terminal_end)
    shown = b""
    while True:
        try:
            piece = os.read(main_end, 65536)
        except OSError:  # the child closed the terminal's last other end
            break
        if not piece:
            break
        shown += piece
    os.close(main_end)
    return child.wait(timeout=120), shown.decode()


def main():
    send = sys.argv[1]
    failures = []
    folder = tempfile.mkdtemp(prefix="lsmtp-progress-")
    large = os.path.join(folder, "large.bin")
    small = os.path.join(folder, "small.bin")
    with open(large, "wb") as out:
        out.write(os.urandom(2_000_000))
    with open(small, "wb") as out:
        out.write(os.urandom(1000))
    base = [send, "--host", "127.0.0.1", "--from", "a@any.test", "--to", "b@any.test", "--body", "see attached"]

    count = Count()
    controller = Controller(count, hostname="127.0.0.1", port=25)
    controller.start()
    try:
        status, shown = run(base + ["--attach", large], on_terminal=True)
        # Redrawn in place; the last drawing shows everything sent, then ends the line.
        last = LINE.match(shown.rstrip("\r\n").split("\r")[-1])
        if status != 0 or not last or not shown.endswith("\r\n"):
            failures.append("no ended progress line on a terminal (exit %d): %r" % (status, shown[-200:]))
        elif not (last.group(1) == last.group(2) == last.group(3) and float(last.group(3)) >= 2.6):
            failures.append("last line does not show all sent: %r" % last.group(0))
        for what, extra, on_terminal in (("--quiet", ["--quiet", "--attach", large], True),
                                         ("a pipe", ["--attach", large], False),
                                         ("a small file", ["--attach", small], True)):
            status, shown = run(base + extra, on_terminal)
            if status != 0 or shown:
                failures.append("with %s: exit %d, standard error %r" % (what, status, shown))
    finally:
        controller.stop()
    if count.messages != 4:
        failures.append("%d messages arrived, not 4" % count.messages)
    for failure in failures:
        print("FAIL:", failure)
    print("progress: %d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
