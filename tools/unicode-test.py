"""lsmtp-send with text beyond ASCII in its arguments: a subject, a body
file and attachments whose names the ANSI code page (Windows-1252) can and
cannot spell, sent to a real SMTP server (aiosmtpd on 127.0.0.1:25) and read
back with the email package; and a missing file so named, told by its name
(exit 66). On Windows the tool takes its arguments as UTF-16 and writes
UTF-8 to a pipe.

Usage: unicode-test.py COMMAND...   (the tool, or a wrapper running it under Wine)
Runs inside the test's private network namespace, where port 25 is free.
"""
import email
import email.policy
import os
import shutil
import subprocess
import sys
import tempfile

from aiosmtpd.controller import Controller


class Capture:
    def __init__(self):
        self.messages = []

    async def handle_DATA(self, server, session, envelope):
        self.messages.append(envelope.original_content)
        return "250 OK"


def main():
    tool = sys.argv[1:]
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    def run(*arguments):
        done = subprocess.run(tool + list(arguments), capture_output=True, timeout=120)
        out, err = done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")
        print("$ lsmtp-send", " ".join(arguments[6:]))
        print(out + err + "exit %d" % done.returncode)
        return done.returncode, out, err

    folder = tempfile.mkdtemp(prefix="lsmtp-unicode-")
    subject = "Grüße 日本 €"
    body = "Grüße aus 日本.\n"
    files = {"résumé 1252.txt": "café\n".encode("utf-8"), "日本語 ファイル.bin": bytes(range(256))}
    body_file = os.path.join(folder, "körper 本文.txt")
    with open(body_file, "w", encoding="utf-8") as out:
        out.write(body)
    attachments = []
    for name, content in files.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(content)
        attachments += ["--attach", os.path.join(folder, name)]
    envelope = ["--host", "127.0.0.1", "--from", "a@any.test", "--to", "b@any.test"]

    capture = Capture()
    controller = Controller(capture, hostname="127.0.0.1", port=25, server_hostname="lsmtp.test")
    controller.start()
    try:
        status, out, err = run(*envelope, "--subject", subject, "--body-file", body_file, *attachments)
        check(status == 0 and out.startswith("221 accepted"), "sent: exit 0 and 221")
        missing = os.path.join(folder, "fehlt 日本.txt")
        status, out, err = run(*envelope, "--attach", missing)
        check(status == 66, "missing attachment: exit 66 (got %d)" % status)
        check("attachment '%s': no such file" % missing in err, "missing attachment named in UTF-8")
        check(out == "", "missing attachment: nothing on standard output")
    finally:
        controller.stop()
        shutil.rmtree(folder)

    check(len(capture.messages) == 1, "one message arrived (got %d)" % len(capture.messages))
    if capture.messages:
        message = email.message_from_bytes(capture.messages[0], policy=email.policy.default)
        check(message["Subject"] == subject, "subject %r arrived as %r" % (subject, message["Subject"]))
        parts = list(message.iter_parts())
        text = parts[0].get_content().replace("\r\n", "\n") if parts else None
        check(text is not None and text.rstrip("\n") == body.rstrip("\n"), "body text %r arrived as %r" % (body, text))
        arrived = {part.get_filename(): part.get_payload(decode=True) for part in parts[1:]}
        check(arrived == files, "attachments by name and content (got %r)" % sorted(arrived))

    for failure in failures:
        print("FAIL:", failure)
    print("unicode: %d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
