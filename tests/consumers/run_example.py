"""Runs the README's C example against a real SMTP server (aiosmtpd on
127.0.0.1:25) and checks that the message it sends arrives whole.

Usage: run_example.py PROGRAM [ARG...]
The program is called with the host, a recipient and a file to attach.
Runs inside a private network namespace, where port 25 is free.
"""
import email
import email.policy
import os
import subprocess
import sys
import tempfile

from aiosmtpd.controller import Controller

RECIPIENT = "reader@example.org"
WAIT_SECONDS = 30


class Capture:
    """Keeps every message the server accepts."""

    def __init__(self):
        self.messages = []

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((list(envelope.rcpt_tos), envelope.original_content))
        return "250 OK"


def main():
    command = sys.argv[1:]
    payload = bytes(range(256)) * 40
    with tempfile.TemporaryDirectory(prefix="lsmtp-example-") as folder:
        attachment = os.path.join(folder, "data.bin")
        with open(attachment, "wb") as out:
            out.write(payload)
        capture = Capture()
        controller = Controller(capture, hostname="127.0.0.1", port=25)
        controller.start()
        try:
            run = subprocess.run(command + ["127.0.0.1", RECIPIENT, attachment],
                                 capture_output=True, text=True, timeout=WAIT_SECONDS, check=False)
        finally:
            controller.stop()

    failures = []
    if run.returncode != 0:
        failures.append(f"exit status {run.returncode}: {run.stdout}{run.stderr}")
    if len(capture.messages) != 1:
        failures.append(f"{len(capture.messages)} messages arrived, not 1")
    else:
        recipients, raw = capture.messages[0]
        message = email.message_from_bytes(raw, policy=email.policy.default)
        files = [part for part in message.iter_attachments()]
        if recipients != [RECIPIENT]:
            failures.append(f"recipients {recipients}")
        if message["Subject"] != "Hello from lsmtp":
            failures.append(f"subject {message['Subject']!r}")
        if len(files) != 1 or files[0].get_filename() != "data.bin" or files[0].get_content() != payload:
            failures.append("the attachment did not arrive intact")
    for failure in failures:
        print(f"{command[0]}: {failure}", file=sys.stderr)
    if not failures:
        print(f"{command[0]}: sent and received: {run.stdout.strip()}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
