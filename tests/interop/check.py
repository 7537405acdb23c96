"""Sends a matrix of messages through lsmtp-send to real SMTP servers and
checks what each server delivered into its Maildirs.

Usage (run by run.sh inside the namespace where the servers listen):
  check.py --send PATH/lsmtp-send --work DIR
           --server NAME ADDRESS MAILDIR_ROOT QUEUE_EMPTY_COMMAND ...
           [--reader NAME COMMAND ...]
  check.py --mailboxes     prints the local parts every server must serve

For every server and every case the checker runs lsmtp-send once and checks
its exit status and printed result. When all messages are sent it waits for
the servers' queues to empty and then reads every Maildir file:
  - each delivered case reached exactly its To, Cc and Bcc recipients, once,
    and no file belongs to anything else;
  - the bytes after the server's own header lines equal the message the
    library composes for those arguments (the Date and Message-ID values by
    pattern, a quoted-printable body by its decoded text); a server that
    stores LF line ends, or prepends header lines, is reported as such;
    international cases, whose header values are encoded and folded, are
    checked by what a reader sees instead: every byte 7-bit, every line
    within 998 characters and every encoded header line within 78;
  - Python's email package (policy default) parses it without defects, with
    the header values as given (decoded, for international cases: the text
    and the addresses equal the caller's), the body text equal to the
    caller's with CR LF line ends and each attachment byte-identical under
    its name;
  - munpack and ripmime, independently, extract the same attachment bytes
    (munpack names checked for ASCII names only: it decodes neither RFC 2047
    nor RFC 2231 names; no names shaped like an encoded-word);
  - each independent reader given with --reader (GMime and Node's
    mailparser, run once over a server's whole delivered set) shows the
    subject, every display name and address, the body text (line ends as
    the reader writes them) and every attachment's name and bytes as the
    caller passed them;
  - no two messages share a Message-ID.
A case the server refuses must print the server's code and deliver nothing.
"""
import argparse
import base64
import calendar
import email
import email.policy
import email.utils
import os
import re
import shlex
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass, field

DOMAIN = "any.test"
MAILBOXES = ["alice", "bob", "carol", "dave", "erin", "frank", "grace"]
BOUNDARY = b"Message-Boundary-21132"
DEFAULT_MAILER = "lumetra mail library"
MAX_LINE = 998                      # RFC 5321 4.5.3.1.6, without CR LF
FOLDED_LINE = 78                    # RFC 5322 2.1.1, where a value can fold
DELIVERY_TRIES = 600                # polls of the Maildirs and queues ...
DELIVERY_PAUSE_SECONDS = 0.1        # ... this far apart: 60 s at most
SEND_TIMEOUT_SECONDS = 120
DATE_LINE = re.compile(rb"Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), (\d\d) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct"
                       rb"|Nov|Dec) (\d{4}) (\d\d):(\d\d):(\d\d) GMT \r\n")
MONTHS = [b"Jan", b"Feb", b"Mar", b"Apr", b"May", b"Jun", b"Jul", b"Aug", b"Sep", b"Oct", b"Nov", b"Dec"]
MESSAGE_ID_LINE = re.compile(rb"Message-ID: <[0-9a-z]+\.[0-9a-z]+\.[0-9a-z]+\.[0-9a-z]+@any\.test>\r\n")
MARKER = re.compile(r"lsmtp interop ([a-z0-9-]+)")
UNSTRUCTURED = {"Subject", "Comments", "X-Mailer"}
# RFC 2045 tspecials, and "'", which some readers take for RFC 2231's
# charset'language' in a bare value.
TOKEN_SPECIALS = set('()<>@,;:\\"/[]?=\'')


def addr(local):
    return "%s@%s" % (local, DOMAIN)


# ------------------------------------------------------------------ cases

@dataclass
class Case:
    name: str
    flags: dict = field(default_factory=dict)      # lsmtp-send flag -> value
    body: bytes = None                             # the body argument, if any
    body_source: str = "flag"                      # "flag", "file" or "stdin"
    attachments: list = field(default_factory=list)  # (file name, bytes)
    outcome: str = "delivered"     # "delivered", "refused", "either", "no-input" or a library code name
    refused_code: int = None       # the exact server code expected, when known
    exact: bool = True             # False: header values are encoded, checked as read back

    @property
    def subject(self):
        return text_of(self.flags["--subject"])

    @property
    def boundary(self):
        """The fixed boundary, or the first "-n" form when a body line as
        sent starts with it."""
        wire = encode_quoted_printable(body_text(self)) if needs_quoted_printable(self) else body_text(self)
        if not re.search(rb"(^|[\r\n])--" + BOUNDARY, wire):
            return BOUNDARY
        suffix = 1
        while BOUNDARY + b"-%d" % suffix in wire:
            suffix += 1
        return BOUNDARY + b"-%d" % suffix


def text_of(value):
    """A flag's value as text: bytes (a windows-1252 subject) are read as
    the library labels them."""
    return value.decode(charset_of(value)) if isinstance(value, bytes) else value


def charset_of(data):
    """The label the library gives non-ASCII bytes."""
    try:
        data.decode("utf-8")
        return "utf-8"
    except UnicodeDecodeError:
        return "windows-1252" if re.search(rb"[\x80-\x9f]", data) else "iso-8859-1"


def list_pieces(text):
    """A list split on "," and ";" outside quoted strings and angle
    brackets, pieces trimmed, empty ones skipped."""
    pieces = re.findall(r'(?:"(?:\\.|[^"\\])*"?|<[^>]*>?|[^,;"<])+', text)
    pieces = (piece.strip(" \t\r\n\v\f") for piece in pieces)
    return [piece for piece in pieces if piece]


def address_header(text):
    """Reply-To and Return-Receipt-To as the library writes them: a bare
    address bracketed, "Name <addr>" as written, a list joined."""
    return ", ".join(piece if piece.endswith(">") else "<" + piece + ">" for piece in list_pieces(text))


def recipients_of(case):
    """Envelope recipients as the library offers them: the pieces of the
    three lists, "Display Name <addr>" standing for addr."""
    joined = ",".join(case.flags.get(flag, "") for flag in ("--to", "--cc", "--bcc"))
    return [re.sub(r"^.*<([^<>]*)>$", r"\1", piece) for piece in list_pieces(joined)]


def make_cases(random_bytes):
    """The message matrix, the same for every server."""
    def subject(name, rest=""):
        return "lsmtp interop %s%s" % (name, rest)

    long_line = ("0123456789abcdefghij" * 100).encode()
    transparency = (b"A body that tries to end the message early.\n"
                    b".\n"                                   # would end DATA
                    b"..\n"
                    b". x\n"
                    b".hidden\n"
                    b"\n.\nMAIL FROM:<smuggled@any.test>\n"   # bare-LF smuggling
                    b"bare LF\nbare CR\rCR LF\r\nLF then CR\n\rdouble CR\r\r\n"
                    b".\r\nQUIT\r\n"
                    b"last line is a dot:\n.")
    cases = [
        Case("headers-only", {"--to": addr("alice"), "--comments": "",
                              "--subject": subject("headers-only", ": a 500-character subject " + "x" * 453)}),
        Case("body-only", {"--to": addr("alice"), "--cc": addr("bob"), "--subject": subject("body-only"),
                           "--comments": "one body part"},
             body="Hello Alice,\r\nthis is the body.\r\n\r\nGr\u00fc\u00dfe aus K\u00f6ln\r\n-- \r\nBob".encode()),
        Case("body-transparency", {"--to": addr("bob"), "--subject": subject("body-transparency")},
             body=transparency, body_source="stdin"),
        Case("body-long-line", {"--to": addr("carol"), "--subject": subject("body-long-line")},
             body=b"short line\n" + long_line + b"\nafter the long line\n", body_source="file"),
        Case("one-attachment", {"--to": addr("dave"), "--subject": subject("one-attachment")},
             body=b"One file attached.", attachments=[("my report.bin", random_bytes[:58])]),
        Case("three-attachments", {"--to": addr("erin"), "--subject": subject("three-attachments")},
             attachments=[("empty.dat", b""), ("one.bin", b"\xff"),
                          ("random.bin", random_bytes[:1024 * 1024])]),
        Case("quoted-names", {"--to": addr("grace"), "--subject": subject("quoted-names")},
             attachments=[('say "hi".txt', b"hi\r\n"), ("back\\slash (1).txt", b"slash"),
                          ("caf\u00e9.txt", b"non-ASCII name")]),
        Case("base64-line-edges", {"--to": addr("frank"), "--subject": subject("base64-line-edges")},
             body=b"55, 56 and 57 bytes: the last fills one base64 line exactly.",
             attachments=[("n55.bin", random_bytes[100:155]), ("n56.bin", random_bytes[200:256]),
                          ("n57.bin", random_bytes[300:357])]),
        Case("all-headers", {
            "--to": addr("alice"), "--cc": addr("bob"), "--bcc": addr("carol"),
            "--from-header": '"Interop Sender" <sender@any.test>',
            "--to-header": "Team <alice@any.test>",
            "--cc-header": "Copies <bob@any.test>",
            "--bcc-header": "Hidden <carol@any.test>",
            "--reply-to": "Replies <replies@any.test>",
            "--receipt-to": "receipts@any.test",
            "--comments": "sent by the interoperability suite",
            "--mailer": "interop checker 1.0",
            "--subject": subject("all-headers", ": a long subject\r\n folded onto a second line"),
        }, body=b"Every optional header is given.", attachments=[("notes.txt", b"plain notes\r\n")]),
        Case("lists", {"--to": "%s;%s" % (addr("alice"), addr("bob")),
                       "--cc": "%s,%s;;" % (addr("carol"), addr("dave")),
                       "--bcc": ";%s;;%s," % (addr("erin"), addr("frank")),
                       "--reply-to": "replies@any.test",
                       "--subject": subject("lists")}, body=b"To, Cc and Bcc lists."),
        # Written as people write lists (and as a file read whole ends):
        # every piece is trimmed, and a display name stays out of RCPT.
        Case("spaced-list", {"--to": "Alice Example <%s>" % addr("alice"),
                             "--cc": " %s; \t%s\r\n" % (addr("bob"), addr("carol")),
                             "--subject": subject("spaced-list")},
             body=b"A list with spaces, a display name and a line break."),
        # A "," or ";" inside a quoted display name separates nothing; the
        # address headers take lists and names as the recipient lists do.
        Case("quoted-list", {"--to": '"Doe, Grace" <%s>; "Lee; Frank \\"F\\"" <%s>' % (addr("grace"), addr("frank")),
                             "--reply-to": '%s, "Replies, Team" <replies@any.test>' % addr("alice"),
                             "--receipt-to": "Receipts <receipts@any.test>",
                             "--subject": subject("quoted-list")},
             body=b"Two recipients whose names hold separators."),
        Case("unknown-recipient", {"--to": "%s,%s" % (addr("alice"), addr("nobody")),
                                   "--subject": subject("unknown-recipient")},
             body=b"Never delivered.", outcome="refused", refused_code=550),
        Case("foreign-recipient", {"--to": "someone@elsewhere.example",
                                   "--subject": subject("foreign-recipient")},
             body=b"Never relayed.", outcome="refused"),
        Case("injected-header", {"--to": addr("alice"),
                                 "--subject": subject("injected-header", "\r\nBcc: " + addr("grace"))},
             body=b"Never sent.", outcome="SMTP_ERR_ARGUMENT"),
        Case("missing-attachment", {"--to": addr("alice"), "--subject": subject("missing-attachment")},
             body=b"Never completed.", attachments=[("first.txt", b"first"), ("missing.bin", None),
                                                   ("third.txt", b"third")],
             outcome="no-input"),
        Case("international", {
            "--to": addr("alice"), "--cc": addr("bob"),
            "--from-header": "J\u00fcrgen M\u00fcller <sender@any.test>",
            "--to-header": '"M\u00fcller, Anna" <alice@any.test>, Zo\u00eb <bob@any.test> (Stra\u00dfe)',
            "--comments": "\u65e5\u672c\u8a9e\u306e\u30b3\u30e1\u30f3\u30c8",
            "--subject": subject("international", ": Gr\u00fc\u00dfe aus K\u00f6ln \u2014 \U0001F600 \u20ac 5")},
             body="Sch\u00f6ne Gr\u00fc\u00dfe,\r\n\u65e5\u672c\u8a9e \u20ac\r\n".encode(),
             attachments=[("r\u00e9sum\u00e9.pdf", random_bytes[:300]),
                          ("\u65e5\u672c\u8a9e\u306e\u30d5\u30a1\u30a4\u30eb\u540d\u304c\u3068\u3066\u3082"
                           "\u9577\u3044\u5834\u5408\u306e\u5831\u544a\u66f8 2024.bin", random_bytes[300:400])],
             exact=False),
        Case("windows-1252", {"--to": addr("carol"),
                              "--subject": subject("windows-1252", ": \u201cquoted\u201d \u20ac 5").encode("cp1252")},
             body=b"Latin-1 text: caf\xe9", body_source="file", exact=False),
        Case("eighty-names", {"--to": addr("dave"), "--subject": subject("eighty-names"),
                              "--to-header": ",".join("Name %d <n%d@any.test>" % (i, i) for i in range(80))},
             body=b"An 80-name To line.", exact=False),
        Case("long-subject", {"--to": addr("erin"),
                              "--subject": subject("long-subject", ": " + "w" * 2970)}, exact=False),
        Case("long-subject-words", {"--to": addr("erin"),
                                    "--subject": subject("long-subject-words", ":" + " word" * 600)},
             exact=False),
        # What people send: a subject of several encoded-words, emoji in
        # display names, file names with "_", spaces and letters beyond
        # ASCII, one long enough for RFC 2231 continuations, and a subject
        # where no base64 cut falls on whole characters (a letter, then CJK).
        Case("cyrillic-subject", {"--to": addr("alice"), "--subject": subject(
            "cyrillic-subject", ": \u041e\u0442\u0447\u0451\u0442 \u0437\u0430 \u0442\u0440\u0435\u0442\u0438\u0439 "
            "\u043a\u0432\u0430\u0440\u0442\u0430\u043b 2024 \u0433\u043e\u0434\u0430: \u0438\u0442\u043e\u0433\u0438, "
            "\u043f\u043b\u0430\u043d\u044b \u0438 \u0431\u044e\u0434\u0436\u0435\u0442 \u043e\u0442\u0434\u0435\u043b\u0430 "
            "\u043f\u0440\u043e\u0434\u0430\u0436")},
             body="\u0414\u043e\u0431\u0440\u044b\u0439 \u0434\u0435\u043d\u044c!".encode(), exact=False),
        Case("emoji-names", {"--to": addr("bob"), "--cc": addr("carol"),
                             "--from-header": "\U0001F600 Emoji Team <sender@any.test>",
                             "--to-header": "Zo\u00eb \U0001F389\U0001F382 <bob@any.test>",
                             "--cc-header": '"\U0001F4E6 Lager, Versand" <carol@any.test>',
                             "--subject": subject("emoji-names", " \U0001F44B")},
             body=b"Display names with emoji.", exact=False),
        Case("file-names", {"--to": addr("dave"), "--subject": subject("file-names")},
             body=b"Names with underscores, spaces, quotes and letters beyond ASCII.",
             attachments=[("Faktura_\u0141\u00f3d\u017a 2024_03.pdf", random_bytes[500:800]),
                          ("\u0413\u043e\u0434\u043e\u0432\u043e\u0439_\u043e\u0442\u0447\u0451\u0442 \u043e "
                           "\u0434\u0435\u044f\u0442\u0435\u043b\u044c\u043d\u043e\u0441\u0442\u0438 \u043a\u043e\u043c"
                           "\u043f\u0430\u043d\u0438\u0438 \u0437\u0430 2024 \u0433\u043e\u0434 (\u0444\u0438\u043d\u0430"
                           "\u043b\u044c\u043d\u0430\u044f \u0440\u0435\u0434\u0430\u043a\u0446\u0438\u044f).pdf",
                           random_bytes[800:1000]),
                          ("'quote'.txt", b"quoted\r\n"), ("snake_case name.txt", b"snake")],
             exact=False),
        Case("letter-before-cjk", {"--to": addr("erin"), "--subject": subject(
            "letter-before-cjk", ": a\u65e5\u672c\u8a9e\u306e\u4ef6\u540d\u304c\u3068\u3066\u3082\u9577\u3044"
            "\u5834\u5408\u306e\u5831\u544a\u66f8\u3068\u4f1a\u8b70\u306e\u8b70\u4e8b\u9332\u3067\u3059")},
             body="\u672c\u6587".encode(), exact=False),
        Case("boundary-in-body", {"--to": addr("frank"), "--subject": subject("boundary-in-body")},
             body=b"A forwarded message follows.\r\n--Message-Boundary-21132\r\nContent-Type: text/html\r\n"
                  b"\r\n<p>not a part</p>\r\n--Message-Boundary-21132--\r\nThe rest of the body.",
             attachments=[("after.txt", b"after the body")]),
        # Line breaks last, and a name shaped like an encoded-word: read as written.
        Case("ends-as-written", {"--to": addr("grace"), "--subject": subject("ends-as-written")},
             body=b"Two line breaks end this body.\n\n",
             attachments=[("=?utf-8?q?x?=.txt", b"not x.txt\r\n")], exact=False),
    ]
    for case in cases:
        case.flags.setdefault("--from", addr("sender"))
    return cases


# ------------------------------------------------------------------ the expected message

def normalise(data):
    """Bare CR and bare LF become CR LF, as the library sends them."""
    return re.sub(rb"\r\n|\r|\n", b"\r\n", data)


def base_name(name):
    """The name the message gives a file: the text after its last "/" (a
    "\\" is part of a name on POSIX)."""
    return name.split("/")[-1]


def param_value(name):
    """A file name as it must appear in name= and filename=."""
    if name and all(32 < ord(c) < 127 and c not in TOKEN_SPECIALS for c in name):
        return name
    return '"' + name.replace("\\", "\\\\").replace('"', '\\"') + '"'


def given(case, flag):
    return bool(case.flags.get(flag))


def expected_headers(case, without_bcc=False):
    """(name, raw value) pairs in the order the library writes them; a
    server that drops the Bcc line is checked against the rest."""
    f = case.flags
    sender = f["--from-header"] if given(case, "--from-header") else f["--from"]
    reply = address_header(f["--reply-to"] if given(case, "--reply-to") else f["--from"])
    headers = [("To", f["--to-header"] if given(case, "--to-header") else ", ".join(list_pieces(f.get("--to", "")))),
               ("Reply-To", reply), ("Sender", sender), ("From", sender)]
    for label, header, lst in (("Cc", "--cc-header", "--cc"), ("Bcc", "--bcc-header", "--bcc")):
        if label == "Bcc" and without_bcc:
            continue
        # The Bcc line comes only from --bcc-header: the list stays blind.
        if given(case, header) or (label == "Cc" and given(case, lst)):
            headers.append((label, f[header] if given(case, header) else ", ".join(list_pieces(f[lst]))))
    if given(case, "--receipt-to"):
        headers.append(("Return-Receipt-To", address_header(f["--receipt-to"])))
    headers.append(("X-Mailer", " " + (f["--mailer"] if given(case, "--mailer") else DEFAULT_MAILER)))
    headers.append(("MIME-Version", " 1.0"))
    headers.append(("Content-Type", " Multipart/Mixed; boundary=" + case.boundary.decode()))
    headers.append(("Comments", f.get("--comments", "")))
    headers.append(("Subject", f["--subject"]))
    return headers


def body_text(case):
    return normalise(case.body or b"")


def text_part(case):
    """The body, ending in CR LF: its own, or one the library adds."""
    return body_text(case) if body_text(case).endswith(b"\r\n") else body_text(case) + b"\r\n"


def needs_quoted_printable(case):
    text = body_text(case)
    return not text.isascii() or any(len(line) > MAX_LINE for line in text.split(b"\r\n"))


def encode_quoted_printable(text):
    """Enough of RFC 2045 6.7 to find boundary lines: every line's bytes."""
    return b"\r\n".join(re.sub(rb"[^ -<>-~]", lambda m: b"=%02X" % m.group(0)[0], line)
                         for line in text.split(b"\r\n"))


def name_params(name):
    """Content-Type and Content-Disposition parameters for a file name: an
    ASCII name as a token or quoted string; a short non-ASCII one as a
    base64 encoded-word and an RFC 2231 value, as the library writes them."""
    if name.isascii():
        value = param_value(name).encode()
        return b"; name=" + value, b"; filename=" + value
    data = name.encode()
    encoded = b"".join(bytes([c]) if re.match(rb"[A-Za-z0-9!#$&+\-.^`|~]", bytes([c])) else b"%%%02X" % c
                       for c in data)
    return (b'; name="=?UTF-8?B?' + base64.b64encode(data) + b'?="', b"; filename*=UTF-8''" + encoded)


def expected_segments(case, without_bcc=False):
    """The message after DATA as a list of pieces: bytes to match exactly,
    ("date",) for the Date line, ("qp", text) for a quoted-printable
    payload whose decoded form must equal text."""
    head = b"".join(name.encode() + b":" + value.encode() + b"\r\n"
                    for name, value in expected_headers(case, without_bcc))
    segments = [("date",), ("message-id",), normalise(head)]
    delimiter = b"\r\n--" + case.boundary + b"\r\n"
    # Without a body and without files an empty text part keeps the
    # multipart message well formed.
    if case.body is not None or not case.attachments:
        charset = b"" if body_text(case).isascii() else b"; charset=" + charset_of(body_text(case)).upper().encode()
        part = delimiter + b"Content-Type: text/plain" + charset + b"\r\n"
        if needs_quoted_printable(case):
            segments += [part + b"Content-Transfer-Encoding: quoted-printable\r\n"
                         b"Content-description: Body of message\r\n\r\n", ("qp", text_part(case))]
        else:
            segments.append(part + b"Content-description: Body of message\r\n\r\n" + text_part(case))
    for name, data in case.attachments:
        name_param, filename_param = name_params(base_name(name))
        encoded = base64.b64encode(data)
        lines = b"".join(encoded[i:i + 76] + b"\r\n" for i in range(0, len(encoded), 76))
        segments.append(delimiter + b"Content-Type: application/octet-stream" + name_param + b"\r\n"
                        b"Content-Transfer-Encoding: base64\r\n"
                        b"Content-Disposition: attachment" + filename_param + b"\r\n\r\n" + lines)
    # The closing delimiter, then the empty line before the end-of-data dot.
    segments.append(b"\r\n--" + case.boundary + b"--\r\n\r\n")
    # Adjacent literals become one, so a quoted-printable payload is always
    # followed by the whole rest up to the next pattern.
    merged = []
    for segment in segments:
        if merged and isinstance(segment, bytes) and isinstance(merged[-1], bytes):
            merged[-1] += segment
        else:
            merged.append(segment)
    return merged


def match_segments(data, segments, sent_window):
    """None when data is exactly the expected message, else why not."""
    pos = 0
    for index, segment in enumerate(segments):
        if segment == ("date",):
            found = DATE_LINE.match(data, pos)
            if not found:
                return "Date line malformed: %r" % data[pos:pos + 50]
            problem = check_date(found, sent_window)
            if problem:
                return problem
            pos = found.end()
        elif segment == ("message-id",):
            found = MESSAGE_ID_LINE.match(data, pos)
            if not found:
                return "Message-ID line malformed: %r" % data[pos:pos + 80]
            pos = found.end()
        elif isinstance(segment, tuple):
            following = segments[index + 1]
            end = data.find(following, pos)
            if end < 0:
                return "end of the quoted-printable body not found"
            encoded = data[pos:end]
            if decode_quoted_printable(encoded) != segment[1]:
                return "quoted-printable body does not decode to the caller's text"
            pos = end
        else:
            if data[pos:pos + len(segment)] != segment:
                at = first_difference(data[pos:], segment)
                start = max(0, at - 30)
                return "differs at byte %d: expected %r, got %r" % (
                    pos + at, segment[start:at + 50], data[pos + start:pos + at + 50])
            pos += len(segment)
    if pos != len(data):
        return "%d unexpected bytes after the message: %r" % (len(data) - pos, data[pos:pos + 80])
    return None


def decode_quoted_printable(data):
    """RFC 2045 6.7, keeping the CR LF of hard line breaks as they are."""
    data = data.replace(b"=\r\n", b"")
    return re.sub(rb"=([0-9A-F]{2})", lambda m: bytes([int(m.group(1), 16)]), data)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def check_date(found, sent_window):
    """The Date value names a moment inside the send (whole seconds)."""
    day, month, year = int(found.group(2)), MONTHS.index(found.group(3)) + 1, int(found.group(4))
    hour, minute, second = (int(found.group(i)) for i in (5, 6, 7))
    try:
        moment = calendar.timegm((year, month, day, hour, minute, second, 0, 0, 0))
        weekday = time.strftime("%a", time.gmtime(moment)).encode()
    except (OverflowError, ValueError):
        return "Date value is not a real moment: %r" % found.group(0)
    if weekday != found.group(1):
        return "Date weekday %s does not match the date (%s)" % (found.group(1), weekday)
    start, end = sent_window
    if not int(start) <= moment <= end + 1:
        return "Date %r is outside the time of sending" % found.group(0)
    return None


# ------------------------------------------------------------------ servers and sending

@dataclass
class Server:
    name: str
    address: str
    maildir: str
    queue_empty: str
    sent: int = 0
    failures: list = field(default_factory=list)
    passed: int = 0
    copies_checked: int = 0
    refusals: list = field(default_factory=list)
    changes: set = field(default_factory=set)
    results: dict = field(default_factory=dict)      # case name -> (code, window)

    def fail(self, case, message):
        self.failures.append("%s %s: %s" % (self.name, case, message))
        print("FAIL %-9s %-20s %s" % (self.name, case, message), flush=True)


def write_files(case, folder):
    os.makedirs(folder, exist_ok=True)
    paths = []
    for name, data in case.attachments:
        path = os.path.join(folder, name)
        if data is not None:
            with open(path, "wb") as out:
                out.write(data)
        paths.append(path)
    return paths


def send(args, server, case, folder):
    """Runs lsmtp-send for one case; returns its exit status, stdout,
    stderr and the (start, end) time of the run."""
    os.makedirs(folder, exist_ok=True)
    command = [args.send, "--host", server.address]
    stdin = b""
    for flag, value in case.flags.items():
        command += [flag, value]
    if case.body is not None:
        if case.body_source == "flag":
            command += ["--body", case.body.decode()]
        elif case.body_source == "file":
            with open(os.path.join(folder, "body.txt"), "wb") as out:
                out.write(case.body)
            command += ["--body-file", os.path.join(folder, "body.txt")]
        else:
            command += ["--body-file", "-"]
            stdin = case.body
    for path in write_files(case, folder):
        command += ["--attach", path]
    started = time.time()
    run = subprocess.run(command, input=stdin, capture_output=True, timeout=SEND_TIMEOUT_SECONDS)
    return (run.returncode, run.stdout.decode(errors="replace"), run.stderr.decode(errors="replace"),
            (started, time.time()))


LIBRARY_CODES = {"SMTP_ERR_ARGUMENT": 740, "SMTP_ERR_ATTACH_OPEN": 721}


def check_result(server, case, status, out, err, folder):
    """Exit status and printed result of one send; returns the code, or
    None when the result is already a failure."""
    if case.outcome == "no-input":
        # The tool checks the files itself before connecting and names the
        # one it cannot read (exit 66, as sysexits' EX_NOINPUT).
        missing = [name for name, content in case.attachments if content is None]
        if status != 66 or not all(name in err for name in missing):
            server.fail(case.name, "expected exit 66 naming %s, got exit %d and %r" % (missing, status, err))
            return None
        return LIBRARY_CODES["SMTP_ERR_ATTACH_OPEN"]  # nothing may arrive, as after a 721
    found = re.match(r"(\d+) ", out)
    if not found:
        server.fail(case.name, "no result code printed (exit %d): %r %r" % (status, out, err))
        return None
    code = int(found.group(1))
    leftovers = sorted(set(os.listdir(folder)) - {name for name, _ in case.attachments} - {"body.txt"})
    if leftovers:
        server.fail(case.name, "files left beside the attachments: %s" % leftovers)
        return None
    if case.outcome == "delivered" or (case.outcome == "either" and code < 400):
        expect = (0, "%d accepted" % code)
        if code != 221:
            server.fail(case.name, "expected 221 after QUIT, got: %s" % out.strip())
            return None
    elif case.outcome in ("refused", "either"):
        expect = (69, "%d refused by the server" % code)  # sysexits' EX_UNAVAILABLE
        wanted = case.refused_code
        if not 500 <= code <= 599 or (wanted and code != wanted):
            server.fail(case.name, "expected a refusal %s, got: %s" % (wanted or "5xx", out.strip()))
            return None
        server.refusals.append("%s %d" % (case.name, code))
    else:
        expect = (65, "%d %s" % (LIBRARY_CODES[case.outcome], case.outcome))  # EX_DATAERR: refused unsent
    if status != expect[0] or not out.startswith(expect[1]):
        server.fail(case.name, "expected exit %d and '%s', got exit %d and %r" % (expect[0], expect[1], status, out))
        return None
    return code


# ------------------------------------------------------------------ reading the Maildirs

def maildir_files(server):
    found = []
    for box in sorted(os.listdir(server.maildir)) if os.path.isdir(server.maildir) else []:
        for sub in ("new", "cur"):
            folder = os.path.join(server.maildir, box, sub)
            if os.path.isdir(folder):
                found += [(box, os.path.join(folder, name)) for name in sorted(os.listdir(folder))]
    return found


def wait_for_delivery(servers, expected_counts):
    """Polls until every server holds the expected number of files and says
    its queue is empty; bounded by DELIVERY_TRIES."""
    waiting = list(servers)
    for _ in range(DELIVERY_TRIES):
        waiting = [s for s in waiting
                   if len(maildir_files(s)) < expected_counts[s.name]
                   or subprocess.run(s.queue_empty, shell=True).returncode != 0]
        if not waiting:
            return
        time.sleep(DELIVERY_PAUSE_SECONDS)
    for server in waiting:
        server.fail("delivery", "still %d of %d files, or the queue is not empty, after %.0f s" % (
            len(maildir_files(server)), expected_counts[server.name], DELIVERY_TRIES * DELIVERY_PAUSE_SECONDS))


def split_server_lines(server, raw):
    """Separates the header lines a server put in front of the message
    (everything before our Date line) from the message itself."""
    if b"\r\n" not in raw:
        server.changes.add("stores LF line ends")
        raw = raw.replace(b"\n", b"\r\n")
    elif re.search(rb"(?<!\r)\n", raw):
        return None, None, raw
    start = 0 if raw.startswith(b"Date: ") else raw.find(b"\r\nDate: ") + 2
    if start == 1:
        return None, None, raw
    prefix = raw[:start]
    names = re.findall(rb"^([!-9;-~]+):", prefix, re.MULTILINE)
    return [n.decode() for n in names], raw[start:], raw


def dropped_bcc(case, message):
    """True when the library wrote a Bcc line and the server removed it."""
    has_bcc = any(name == "Bcc" for name, _ in expected_headers(case))
    header_section = message.split(b"\r\n\r\n", 1)[0]
    return has_bcc and not re.search(rb"^Bcc:", header_section, re.MULTILINE | re.IGNORECASE)


def check_parsed(case, whole, without_bcc):
    """Python's email package reads the message as the caller meant it."""
    msg = email.message_from_bytes(whole, policy=email.policy.default)
    problems = []
    if msg.defects:
        problems.append("message defects %s" % msg.defects)
    if case.exact:
        raw = [(name, value) for name, value in msg.raw_items()]
        for name, value in expected_headers(case, without_bcc):
            got = [v for n, v in raw if n.lower() == name.lower()]
            # policy default keeps the raw value less the blanks after the colon.
            if got != [value.lstrip(" \t")]:
                problems.append("%s header: expected %r, got %r" % (name, value.lstrip(" \t"), got))
    else:
        problems += read_back_header_problems(case, msg, without_bcc)
    if "\r\n" in case.subject and str(msg["Subject"]) != unfold(case.subject):
        problems.append("folded Subject reads back as %r" % str(msg["Subject"]))
    if msg.get_content_type() != "multipart/mixed" or msg.get_boundary() != case.boundary.decode():
        problems.append("not multipart/mixed with the boundary: %s" % msg.get_content_type())
        return problems
    parts = list(msg.iter_parts())
    expected = []
    if case.body is not None or not case.attachments:
        expected.append(("text/plain", None, text_part(case)))
    expected += [("application/octet-stream", base_name(name), data) for name, data in case.attachments]
    if len(parts) != len(expected):
        return problems + ["%d parts, expected %d" % (len(parts), len(expected))]
    for number, (part, (kind, name, data)) in enumerate(zip(parts, expected), 1):
        where = "part %d" % number
        if part.defects:
            problems.append("%s defects %s" % (where, part.defects))
        if part.get_content_type() != kind:
            problems.append("%s is %s, expected %s" % (where, part.get_content_type(), kind))
        if name is not None:
            if part.get_filename() != name or part.get_param("name") != name:
                problems.append("%s file name %r / %r, expected %r" % (
                    where, part.get_filename(), part.get_param("name"), name))
            if part.get_content_disposition() != "attachment":
                problems.append("%s is not an attachment" % where)
        content = part.get_payload(decode=True)
        if content != data:
            problems.append("%s content differs: %d bytes, expected %d (%r...)" % (
                where, len(content or b""), len(data), (content or b"")[:40]))
    return problems


def unfold(value):
    return re.sub(r"\r\n([ \t])", r"\1", value)


def read_back_header_problems(case, msg, without_bcc):
    """Encoded header values as a reader sees them: the caller's text for
    free text, the caller's display names and addresses for address lines."""
    problems = []
    for name, value in expected_headers(case, without_bcc):
        if name in ("MIME-Version", "Content-Type"):
            continue
        value = unfold(text_of(value)).strip(" \t")
        got = msg.get_all(name) or []
        if len(got) != 1:
            problems.append("%s header: %d lines" % (name, len(got)))
        elif name in UNSTRUCTURED and str(got[0]) != value:
            problems.append("%s header reads back as %r, expected %r" % (name, str(got[0])[:120], value[:120]))
        elif name not in UNSTRUCTURED:
            read = [(a.display_name, a.addr_spec) for a in got[0].addresses]
            wanted = email.utils.getaddresses([value])
            if read != wanted:
                problems.append("%s addresses read back as %r, expected %r" % (name, read[:3], wanted[:3]))
    return problems


def read_back_problems(message):
    """What an international case must be on the wire: Date and Message-ID
    first, every byte 7-bit, every encoded header line within 78."""
    found = DATE_LINE.match(message)
    if not found or not MESSAGE_ID_LINE.match(message, found.end()):
        return "does not start with the Date and Message-ID lines: %r" % message[:120]
    if not message.isascii():
        return "8-bit bytes at %d" % next(i for i, byte in enumerate(message) if byte > 127)
    for line in message.split(b"\r\n\r\n", 1)[0].split(b"\r\n"):
        if b"=?" in line and len(line) > FOLDED_LINE:
            return "an encoded header line of %d characters: %r" % (len(line), line[:80])
    return None


def unpacked_name(tool, name):
    """Where each tool writes an attachment, or None when it cannot name it.
    munpack writes every byte outside letters, digits, ".", "-" and "_" as
    "X"; ripmime does not read a quoted-pair (\\" or \\\\) in a file name,
    and decodes a name shaped like an encoded-word twice."""
    if re.search(r"=\?.*\?=", name):
        return None
    if tool == "munpack":
        if not name.isascii():
            return None
        return re.sub(rb"[^A-Za-z0-9._-]", b"X", name.encode()).decode()
    return None if '"' in name or "\\" in name else name


def check_unpacked(case, whole, scratch):
    """munpack and ripmime, independently, extract the same attachments;
    a file a tool cannot name must still be there under a name of its own."""
    problems = []
    # Neither tool writes a file for an empty part.
    files = [(base_name(name), data) for name, data in case.attachments if data]
    if not files:
        return problems
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    message = os.path.join(scratch, "message.eml")
    with open(message, "wb") as out:
        out.write(whole)
    tools = {"munpack": ["munpack", "-f", "-q", "-C", os.path.join(scratch, "munpack"), message],
             "ripmime": ["ripmime", "-i", message, "-d", os.path.join(scratch, "ripmime")]}
    for tool, command in tools.items():
        folder = os.path.join(scratch, tool)
        os.makedirs(folder)
        run = subprocess.run(command, capture_output=True, timeout=60)
        if run.returncode != 0:
            problems.append("%s failed: %r" % (tool, run.stderr[:200]))
            continue
        # A "/" in a name the tool does not decode makes a folder.
        extracted = {os.path.relpath(os.path.join(top, entry), folder): open(os.path.join(top, entry), "rb").read()
                     for top, _, entries in os.walk(folder) for entry in entries}
        for name, data in files:
            written = unpacked_name(tool, name)
            if written is not None and extracted.get(written) != data:
                problems.append("%s: %r not extracted as %r with the same bytes (got %s)" % (
                    tool, name, written, sorted(extracted)))
            elif written is None and data not in extracted.values():
                problems.append("%s: the bytes of %r were not extracted" % (tool, name))
    return problems


def check_server(server, cases, work, readers):
    """Sweeps one server's Maildirs once everything is delivered."""
    files = [path for _, path in maildir_files(server)]
    views = {reader.name: read_with(reader, files) if files else {} for reader in readers}
    for reader in readers:
        if isinstance(views[reader.name], str):
            server.fail("reader", views[reader.name])
            views[reader.name] = {}
    by_case = {}
    message_ids = {}
    for box, path in maildir_files(server):
        raw = open(path, "rb").read()
        parsed = email.message_from_bytes(raw, policy=email.policy.default)
        marker = MARKER.match(str(parsed.get("Subject", "")))
        key = marker.group(1) if marker else None
        by_case.setdefault(key, []).append((box, path, raw))
        message_ids.setdefault(str(parsed.get("Message-ID", "")), set()).add(key)
    for message_id, keys in message_ids.items():
        if len(keys) > 1:
            server.fail("message-id", "%s names %d messages: %s" % (message_id, len(keys), sorted(map(str, keys))))
    known = {case.name for case in cases}
    for key, copies in by_case.items():
        if key not in known:
            server.fail("delivery", "%d unexpected file(s), e.g. %s" % (len(copies), copies[0][1]))
    for case in cases:
        code, window = server.results.get(case.name, (None, None))
        if code is None:
            continue
        copies = by_case.get(case.name, [])
        if code > 400:
            if copies:
                server.fail(case.name, "refused or failed (%d) yet delivered to %s" % (
                    code, sorted(box for box, _, _ in copies)))
            else:
                server.passed += 1
            continue
        problems = []
        boxes = sorted(box for box, _, _ in copies)
        wanted = sorted(piece.strip().rpartition("@")[0] for piece in recipients_of(case))
        if boxes != wanted:
            problems.append("delivered to %s, expected %s" % (boxes, wanted))
        for box, path, raw in copies:
            added, message, whole = split_server_lines(server, raw)
            if message is None:
                problems.append("%s: cannot find the message's own lines (mixed line ends?)" % box)
                continue
            if added:
                server.changes.add("adds " + ", ".join(dict.fromkeys(added)))
            without_bcc = dropped_bcc(case, message)
            if without_bcc:
                server.changes.add("removes the Bcc header")
            if case.exact:
                mismatch = match_segments(message, expected_segments(case, without_bcc), window)
            else:
                mismatch = read_back_problems(message)
            if mismatch:
                problems.append("%s: message %s" % (box, mismatch))
            if any(len(line) > MAX_LINE for line in message.split(b"\r\n")):
                problems.append("%s: a line longer than %d characters" % (box, MAX_LINE))
            problems += ["%s: %s" % (box, p) for p in check_parsed(case, whole, without_bcc)]
            for reader in readers:
                shown = views[reader.name].get(path)
                found = reader_problems(case, shown, without_bcc) if shown else ["not read"]
                problems += ["%s: %s: %s" % (box, reader.name, p) for p in found]
                verdicts = reader.results.setdefault(case.name, {})
                if found or verdicts.get(server.name, "ok") != "ok":
                    verdicts[server.name] = "FAIL"
                else:
                    verdicts[server.name] = "ok"
            server.copies_checked += 1
        if copies:
            problems += check_unpacked(case, split_server_lines(server, copies[0][2])[2],
                                       os.path.join(work, "unpack", server.name, case.name))
        if problems:
            for problem in problems:
                server.fail(case.name, problem)
        else:
            server.passed += 1
            print("ok   %-9s %-20s %d cop%s" % (server.name, case.name, len(copies),
                                                "y" if len(copies) == 1 else "ies"), flush=True)


# ------------------------------------------------------------------ independent readers

ADDRESS_HEADERS = ("From", "Sender", "Reply-To", "To", "Cc", "Bcc")


@dataclass
class Reader:
    """A MIME reader written elsewhere; its command takes message files and
    prints, for each, the lines gmime_read.c describes."""
    name: str
    command: list
    seconds: float = 0.0
    results: dict = field(default_factory=dict)      # case name -> {server: "ok" or "FAIL"}


@dataclass
class Shown:
    """What a reader shows of one message."""
    subject: str = ""
    addresses: dict = field(default_factory=dict)    # header -> [(display name, address)]
    body: str = None
    attachments: list = field(default_factory=list)  # (name, bytes)


def unhex(field_text):
    return b"" if field_text == "-" else bytes.fromhex(field_text)


def read_with(reader, paths):
    """Runs the reader once over every file; returns {path: Shown}, or a
    string saying why it failed."""
    started = time.monotonic()
    run = subprocess.run(reader.command + paths, capture_output=True, timeout=300)
    reader.seconds += time.monotonic() - started
    if run.returncode != 0:
        return "%s exited with %d: %r" % (reader.name, run.returncode, run.stderr[-300:])
    shown, current = {}, None
    for line in run.stdout.decode().splitlines():
        kind, *values = line.split(" ")
        if kind == "file":
            current = shown.setdefault(unhex(values[0]).decode(), Shown())
        elif kind == "subject":
            current.subject = unhex(values[0]).decode()
        elif kind == "address":
            current.addresses.setdefault(values[0], []).append(
                (unhex(values[1]).decode(), unhex(values[2]).decode()))
        elif kind == "body":
            current.body = unhex(values[0]).decode()
        elif kind == "attachment":
            current.attachments.append((unhex(values[0]).decode(), unhex(values[1])))
    return shown


def text_lines(text):
    """Text with its line ends as "\n": readers give CR LF or LF."""
    return re.sub(r"\r\n|\r", "\n", text)


def caller_addresses(value):
    """The display names and addresses the caller wrote, as RFC 5322 reads
    them (a comment after an address with no name stands for the name)."""
    return email.utils.getaddresses([unfold(text_of(value))])


def reader_problems(case, shown, without_bcc):
    """Where a reader shows something other than what the caller passed."""
    problems = []
    subject = unfold(case.subject).strip(" \t")
    if shown.subject != subject:
        problems.append("subject %r, expected %r" % (shown.subject[:100], subject[:100]))
    for name, value in expected_headers(case, without_bcc):
        if name in ADDRESS_HEADERS and shown.addresses.get(name, []) != caller_addresses(value):
            problems.append("%s %r, expected %r" % (name, shown.addresses.get(name, [])[:3],
                                                    caller_addresses(value)[:3]))
    has_text_part = case.body is not None or not case.attachments
    body = text_lines(text_part(case).decode(charset_of(body_text(case)))) if has_text_part else ""
    if text_lines(shown.body or "") != body:
        problems.append("body %r, expected %r" % ((shown.body or "")[:80], body[:80]))
    attachments = [(base_name(name), data) for name, data in case.attachments]
    if [name for name, _ in shown.attachments] != [name for name, _ in attachments]:
        problems.append("attachment names %r, expected %r" % ([n for n, _ in shown.attachments],
                                                              [n for n, _ in attachments]))
    for (name, data), (_, wanted) in zip(shown.attachments, attachments):
        if data != wanted:
            problems.append("attachment %r: %d bytes differ from the %d sent" % (name, len(data), len(wanted)))
    return problems


def readers_table(readers, cases):
    """Readers x cases: "ok" where every server's copies read right, else
    the servers where they did not."""
    delivered = [case.name for case in cases if any(case.name in r.results for r in readers)]
    width = max(len(name) for name in delivered) if delivered else 4
    lines = ["%-*s  %s" % (width, "case", "  ".join("%-12s" % r.name for r in readers))]
    for name in delivered:
        cells = []
        for reader in readers:
            verdicts = reader.results.get(name, {})
            failed = sorted(server for server, verdict in verdicts.items() if verdict != "ok")
            cells.append("%-12s" % ("FAIL " + ",".join(failed) if failed else "ok" if verdicts else "-"))
        lines.append("%-*s  %s" % (width, name, "  ".join(cells)))
    return "\n".join(lines)


# ------------------------------------------------------------------ main

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mailboxes", action="store_true")
    parser.add_argument("--send")
    parser.add_argument("--work")
    parser.add_argument("--server", nargs=4, action="append", default=[],
                        metavar=("NAME", "ADDRESS", "MAILDIR", "QUEUE_EMPTY"))
    parser.add_argument("--reader", nargs=2, action="append", default=[], metavar=("NAME", "COMMAND"))
    args = parser.parse_args()
    if args.mailboxes:
        print(" ".join(MAILBOXES))
        return 0
    began = time.monotonic()
    random_bytes = os.urandom(1024 * 1024)
    cases = make_cases(random_bytes)
    servers = [Server(*fields) for fields in args.server]
    readers = [Reader(name, shlex.split(command)) for name, command in args.reader]
    expected_counts = {}
    for server in servers:
        expected_counts[server.name] = 0
        for case in cases:
            folder = os.path.join(args.work, "files", server.name, case.name)
            status, out, err, window = send(args, server, case, folder)
            server.sent += 1
            code = check_result(server, case, status, out, err, folder)
            if code is None:
                continue
            server.results[case.name] = (code, window)
            if code <= 400:
                expected_counts[server.name] += len(recipients_of(case))
    wait_for_delivery(servers, expected_counts)
    for server in servers:
        check_server(server, cases, args.work, readers)

    print()
    passed = failed = 0
    for server in servers:
        passed += server.passed
        failed += len(server.failures)
        print("%s: %d sent, %d copies checked, %d cases passed, %d failures; changed: %s; refused: %s" % (
            server.name, server.sent, server.copies_checked, server.passed, len(server.failures),
            "; ".join(sorted(server.changes)) or "nothing", ", ".join(server.refusals) or "nothing"))
    if readers:
        print()
        print(readers_table(readers, cases))
        print("readers took " + ", ".join("%s %.1f s" % (r.name, r.seconds) for r in readers))
    print("interop suite took %.1f s" % (time.monotonic() - began))
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
