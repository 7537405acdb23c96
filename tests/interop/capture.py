"""A capturing SMTP server: aiosmtpd on ADDR:25 writing Maildirs.

Usage: capture.py ADDR MAILDIR_ROOT MAILBOX...

Each accepted recipient whose local part is one of MAILBOX gets the message
as a file in MAILDIR_ROOT/<local part>/new/, holding exactly the bytes the
client sent after DATA (dots un-stuffed, line ends untouched) and nothing
added: the one exact record of what the library put on the wire. Other
recipients are refused with 550. Runs until SIGTERM or SIGINT.
"""
import itertools
import os
import signal
import sys

from aiosmtpd.controller import Controller

DOMAIN = "any.test"


class MaildirHandler:
    def __init__(self, root, mailboxes):
        self.root = root
        self.mailboxes = set(mailboxes)
        self.serial = itertools.count(1)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        local, _, domain = address.rpartition("@")
        if domain.lower() != DOMAIN or local not in self.mailboxes:
            return "550 5.1.1 <%s>: no such mailbox here" % address
        envelope.rcpt_tos.append(address)
        return "250 2.1.5 Ok"

    async def handle_DATA(self, server, session, envelope):
        for address in envelope.rcpt_tos:
            self.deliver(address.rpartition("@")[0], envelope.original_content)
        return "250 2.0.0 Ok: delivered"

    def deliver(self, mailbox, content):
        folder = os.path.join(self.root, mailbox)
        for sub in ("tmp", "new", "cur"):
            os.makedirs(os.path.join(folder, sub), exist_ok=True)
        name = "%d.%d.capture" % (os.getpid(), next(self.serial))
        staged = os.path.join(folder, "tmp", name)
        with open(staged, "wb") as out:
            out.write(content)
        os.rename(staged, os.path.join(folder, "new", name))


def main():
    addr, root, mailboxes = sys.argv[1], sys.argv[2], sys.argv[3:]
    controller = Controller(MaildirHandler(root, mailboxes), hostname=addr, port=25,
                            server_hostname="aiosmtpd." + DOMAIN, decode_data=False,
                            data_size_limit=64 * 1024 * 1024)
    controller.start()
    signal.sigwait({signal.SIGTERM, signal.SIGINT})
    controller.stop()
    return 0


if __name__ == "__main__":
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
    sys.exit(main())
