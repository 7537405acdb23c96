"""Shows one delivered message and checks its attachments.

Usage: show_message.py MESSAGE_FILE ORIGINAL_FILE...

Prints the header lines, then one line per MIME part (type, file name,
size). Each ORIGINAL_FILE must come back as an attachment of the same base
name with the same bytes; exits 1 otherwise.
"""
import email
import email.policy
import hashlib
import os
import sys


def main():
    with open(sys.argv[1], "rb") as source:
        raw = source.read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    print("Header section as delivered (the server put the lines before Date):")
    header_section = raw.replace(b"\r\n", b"\n").split(b"\n\n", 1)[0]
    for line in header_section.split(b"\n"):
        print("  " + line.decode(errors="replace"))
    print("Parts:")
    found = {}
    for number, part in enumerate(msg.iter_parts(), 1):
        content = part.get_payload(decode=True) or b""
        name = part.get_filename()
        print("  %d. %s%s, %d bytes" % (number, part.get_content_type(),
                                        ", file %r" % name if name else "", len(content)))
        if name:
            found[name] = content
        else:
            for line in content.decode(errors="replace").splitlines():
                print("     | " + line)
    if msg.defects:
        print("The message has defects: %s" % msg.defects)
        return 1
    status = 0
    for path in sys.argv[2:]:
        with open(path, "rb") as original:
            data = original.read()
        name = os.path.basename(path)
        digest = hashlib.sha256(data).hexdigest()
        if found.get(name) == data:
            print("Attachment %r came through byte-identical (%d bytes, SHA-256 %s)" % (name, len(data), digest))
        else:
            print("Attachment %r did NOT come through intact" % name)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
