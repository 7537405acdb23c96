"""A host program sends a message with two attachments to a real SMTP
server (aiosmtpd on 127.0.0.1:25); the message that arrives is parsed with
the email package and checked piece by piece. The files have non-ASCII
names.

Usage: dll_host_test.py EMULATOR HOST_EXE DLL
  A Windows program loads lsmtp.dll under Wine and sends the message twice:
  once with the paths in UTF-8, once in the ANSI code page (Windows-1252
  under the pinned locale).
Usage: dll_host_test.py --run COMMAND [ARG...]
  A program of this system sends the message through one of the bindings
  (C# under Mono, Pascal), with the shared library.
Usage: dll_host_test.py --wine EMULATOR PROGRAM_EXE
  A Windows program sends the message through one of the bindings, with
  the lsmtp.dll beside it.
The file paths follow the given arguments. Runs inside the test's private
network namespace, where port 25 is free.
"""
import datetime
import email
import email.policy
import email.utils
import os
import random
import subprocess
import sys
import tempfile
import threading

from aiosmtpd.controller import Controller


class Capture:
    """Keeps every message the server accepts."""

    def __init__(self):
        self.messages = []
        self.arrived = threading.Event()

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content))
        self.arrived.set()
        return "250 OK"


def windows_path(path):
    # Wine shows the Linux file system as drive Z:.
    return "Z:" + path.replace("/", "\\")


def main():
    if sys.argv[1] == "--run":
        commands, path_for_host = [sys.argv[2:]], str
    elif sys.argv[1] == "--wine":
        commands, path_for_host = [sys.argv[2:]], windows_path
    else:
        emulator, host_exe, dll = sys.argv[1:4]
        commands = [[emulator, host_exe, windows_path(dll), encoding] for encoding in ("utf8", "ansi")]
        path_for_host = windows_path
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    # Every byte value, CR LF and lone CR and LF, a length that is no
    # multiple of 3 and more than a hundred base64 lines.
    rng = random.Random(21132)
    payload = bytes(range(256)) + b"\r\n\r\r\n\n" + bytes(rng.randrange(256) for _ in range(20000))
    text = "Grüße, 1 × 2\r\n".encode("utf-8") * 50
    folder = tempfile.mkdtemp(prefix="lsmtp-dll-")
    files = {"résumé 1.bin": payload, "café.txt": text}
    for name, content in files.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(content)

    capture = Capture()
    controller = Controller(capture, hostname="127.0.0.1", port=25)
    controller.start()
    try:
        for command in commands:
            run = subprocess.run(command + [path_for_host(os.path.join(folder, name)) for name in files],
                                 capture_output=True, text=True, timeout=120)
            print("host program:", run.stdout.strip(), run.stderr.strip())
            check(run.returncode == 0 and run.stdout.strip() == "221", "result 221 (got %r)" % run.stdout.strip())
    finally:
        controller.stop()
    check(len(capture.messages) == len(commands), "one message per run (got %d)" % len(capture.messages))
    for sender, recipients, raw in capture.messages:
        check(sender == "host@windows.test", "envelope sender")
        check(recipients == ["one@example.test", "two@example.test"], "envelope recipients %r" % recipients)
        message = email.message_from_bytes(raw, policy=email.policy.default)
        check(message["Subject"] == "Report from a host program", "Subject")
        check(message["From"] == "Windows Host <host@windows.test>", "From %r" % message["From"])
        # The Date line comes from the local clock, turned into UTC.
        date = email.utils.parsedate_to_datetime(message["Date"])
        off_by = abs((date - datetime.datetime.now(datetime.timezone.utc)).total_seconds())
        date_line = next((line for line in raw.split(b"\r\n") if line.startswith(b"Date: ")), b"")
        check(date_line.rstrip().endswith(b" GMT") and off_by < 900, "Date %r" % date_line)
        check(message.get_content_type() == "multipart/mixed", "multipart/mixed")
        parts = list(message.iter_parts())
        check(len(parts) == 3, "three parts (got %d)" % len(parts))
        if len(parts) == 3:
            body = parts[0]
            check(body.get_content_type() == "text/plain", "text body")
            check(body.get_content().replace("\r\n", "\n").rstrip("\n") == "Hello from the DLL.\nSecond line.",
                  "body text %r" % body.get_content())
            for (name, content), attached in zip(files.items(), parts[1:]):
                # The name is the part after the last backslash of the path.
                check(attached.get_filename() == name, "file name %r" % attached.get_filename())
                check(attached["Content-Transfer-Encoding"] == "base64", "base64 part")
                check(attached.get_payload(decode=True) == content, "%s: bytes intact" % name)
    # The encoded copies beside the attachments are gone; the files stay.
    check(sorted(os.listdir(folder)) == sorted(files), "folder holds %r" % sorted(os.listdir(folder)))

    for failure in failures:
        print("FAILED:", failure)
    print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
