"""The benchmark host for Python's smtplib and email packages.

Usage: e2e_smtplib.py COUNT THREADS [ATTACHMENT]
Prints what the C hosts print: wall seconds, CPU seconds, peak RSS in KiB
and the number of failed sends. One SMTP session per message.
"""
import os
import resource
import smtplib
import sys
import threading
import time
from email.message import EmailMessage
from email.utils import formatdate

BODY = "".join(f"Line {n:02d} of the benchmark message body, the same every time.\n" for n in range(16))


def compose(attachment):
    message = EmailMessage()
    message["Date"] = formatdate(usegmt=True)
    message["From"] = "sender@bench.test"
    message["To"] = "rcpt@bench.test"
    message["Subject"] = "Benchmark message"
    message.set_content(BODY)
    if attachment:
        with open(attachment, "rb") as source:
            data = source.read()
        message.add_attachment(data, maintype="application", subtype="octet-stream",
                               filename=os.path.basename(attachment))
    return message


def send_one(attachment):
    try:
        # A fixed name for EHLO, as the other hosts use: left out, smtplib
        # looks the machine's own name up in the DNS for every session.
        with smtplib.SMTP("127.0.0.1", 25, local_hostname="bench.test") as session:
            session.send_message(compose(attachment))
        return 0
    except (OSError, smtplib.SMTPException) as error:
        print(f"smtplib: {error}", file=sys.stderr)
        return 1


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(f"usage: {sys.argv[0]} COUNT THREADS [ATTACHMENT]")
    count, threads = int(sys.argv[1]), int(sys.argv[2])
    attachment = sys.argv[3] if len(sys.argv) == 4 else None
    failures = [0] * threads

    def worker(index):
        for _ in range(count // threads):
            failures[index] += send_one(attachment)

    workers = [threading.Thread(target=worker, args=(i,)) for i in range(threads)]
    cpu_start, start = time.process_time(), time.monotonic()
    for thread in workers:
        thread.start()
    for thread in workers:
        thread.join()
    wall, cpu = time.monotonic() - start, time.process_time() - cpu_start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(f"{wall:.6f} {cpu:.6f} {peak} {sum(failures)}")
    sys.exit(1 if sum(failures) else 0)


main()
