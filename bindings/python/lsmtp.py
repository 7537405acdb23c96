"""Send one e-mail per call through the lsmtp library.

    import lsmtp

    code = lsmtp.send_mail(
        "mail.example.com",
        from_addr="alice@example.com",
        to=["bob@example.com", "Carol <carol@example.com>"],
        subject="Monthly report",
        body="The report is attached.\\n",
        attachments=["report.pdf"],
    )

Text is given as str and passed to the library as UTF-8. Lists (to, cc,
bcc, reply_to, receipt_to, attachments) are given as any iterable of items
(a list, tuple, set or generator, read once), or one item alone. An
address may hold "," or ";" inside quotes or angle brackets
('"Doe, Jane" <jane@example.org>'); elsewhere, and anywhere in a file
name, the library reads them as separators, so such an item is refused.
A file name is a str, bytes or path object: on POSIX it reaches the
library as the bytes it stands for (os.fsencode), so a name that is not
UTF-8, given as bytes or as the str with surrogate escapes that os.listdir
returns, names that file; on Windows the library takes UTF-8, and a bytes
name is a TypeError. send_mail returns the server's final reply code
(usually 221), whose `text` tells who accepted the message and the
server's reply (with its queue id, where the server gives one), and raises
LsmtpError, carrying the result code, its name and the library's text of
why (the server's reply, the system's word or the refused argument), when
the server refused the message or the library failed.

The library is looked up, in order: the file named by the LSMTP_LIBRARY
environment variable; the copy in this module's folder (where the wheel
puts it); the library installed beside this module (the module lives in
PREFIX/share/lsmtp/python, or in PREFIX/lib/python3/dist-packages as
packaged for Debian; the library in PREFIX/lib or PREFIX/lib/<multiarch>,
the DLL in PREFIX/bin); the system's library path.
"""
import ctypes
import ctypes.util
import os
import struct
import sys
import sysconfig

# The library's version, filled in when the module is built or packaged.
__version__ = "@PROJECT_VERSION@"

SMTP_ERR_CONNECT = 700
SMTP_ERR_SOCKET = 710
SMTP_ERR_RECV = 711
SMTP_ERR_REPLY = 712
SMTP_ERR_TIMEOUT = 713
SMTP_ERR_ENCODE_CREATE = 720
SMTP_ERR_ATTACH_OPEN = 721
SMTP_ERR_WRITE = 730
SMTP_ERR_ARGUMENT = 740
SMTP_ERR_MEMORY = 750

# Each code's name, whether sending again later may succeed (the header's
# table WORTH TRYING AGAIN), and its meaning.
_LIBRARY_CODES = {
    SMTP_ERR_CONNECT: ("SMTP_ERR_CONNECT", True, "no connection: name not resolved, refused, or not connected within 15 s"),
    SMTP_ERR_SOCKET: ("SMTP_ERR_SOCKET", False, "no socket could be created"),
    SMTP_ERR_RECV: ("SMTP_ERR_RECV", True, "reading a reply failed or the server closed the connection"),
    SMTP_ERR_REPLY: ("SMTP_ERR_REPLY", False, "the server's answer is not an SMTP reply of the expected class"),
    SMTP_ERR_TIMEOUT: ("SMTP_ERR_TIMEOUT", True, "no complete reply within 10 s (10 minutes after the message)"),
    SMTP_ERR_ENCODE_CREATE: ("SMTP_ERR_ENCODE_CREATE", False, "the encoded copy of an attachment could not be created"),
    SMTP_ERR_ATTACH_OPEN: ("SMTP_ERR_ATTACH_OPEN", False, "an attachment is not a readable regular file"),
    SMTP_ERR_WRITE: ("SMTP_ERR_WRITE", True, "sending the message failed and the server gave no reason"),
    SMTP_ERR_ARGUMENT: ("SMTP_ERR_ARGUMENT", False, "an argument is missing or unsafe; nothing was sent"),
    SMTP_ERR_MEMORY: ("SMTP_ERR_MEMORY", False, "the library ran out of memory; the message was not completed"),
}

__all__ = ["send_mail", "Accepted", "LsmtpError", "code_name", "load_library"] + [
    name for name, _, _ in _LIBRARY_CODES.values()]

# Results below this are success (the library's header says so).
_FIRST_FAILURE = 400
# The longest result text with its terminating NUL (LSMTP_RESULT_TEXT_SIZE).
_RESULT_TEXT_SIZE = 1024


def code_name(code):
    """The name of a result code: SMTP_ERR_* for the library's own, else
    what kind of server reply it is."""
    if code in _LIBRARY_CODES:
        return _LIBRARY_CODES[code][0]
    if code >= SMTP_ERR_CONNECT:
        return "SMTP_ERR_UNKNOWN"
    if code >= 500:
        return "SERVER_REFUSED_PERMANENTLY"
    if code >= _FIRST_FAILURE:
        return "SERVER_REFUSED_TEMPORARILY"
    return "ACCEPTED"


def _temporary(code):
    if code in _LIBRARY_CODES:
        return _LIBRARY_CODES[code][1]
    return _FIRST_FAILURE <= code < 500


class Accepted(int):
    """The result of a message the server accepted: the reply code as an
    int, and `text`, the library's account of it, e.g. "accepted by
    127.0.0.1: 250 2.0.0 Ok: queued as 4F1A2B3C"."""

    def __new__(cls, code, text=""):
        accepted = super().__new__(cls, code)
        accepted.text = text
        return accepted


class LsmtpError(Exception):
    """The message was not sent: `code` is the call's result, `name` its
    name (see code_name), `text` the library's account of why (the
    command refused and the server's reply, the system's word, the path of
    an attachment, the argument and the rule it breaks); str() shows all
    three. It pickles whole, so it crosses process pools.

    `temporary` is true where sending the same message later may succeed:
    a 4xx reply, no connection (SMTP_ERR_CONNECT), a lost connection
    (SMTP_ERR_RECV, SMTP_ERR_WRITE), no reply in time (SMTP_ERR_TIMEOUT).
    It is false where the message will fail the same way: a 5xx reply, a
    refused argument, an unreadable attachment, out of memory. A lost
    connection or a missing reply after the end of the message's data is
    temporary, yet the server may have accepted the message all the same:
    check before sending it again, or the recipients may get it twice."""

    def __init__(self, code, text=""):
        # Exception pickles its args: these two rebuild the error whole.
        super().__init__(code, text)
        self.code = code
        self.name = code_name(code)
        self.text = text or _LIBRARY_CODES.get(code, (None, None, "the server refused the message"))[2]

    def __str__(self):
        return "%d %s: %s" % (self.code, self.name, self.text)

    @property
    def temporary(self):
        """Whether sending the same message later may succeed."""
        return _temporary(self.code)


def _library_candidates():
    named = os.environ.get("LSMTP_LIBRARY")
    if named:
        return [named]
    here = os.path.dirname(os.path.abspath(__file__))
    prefix = os.path.normpath(os.path.join(here, os.pardir, os.pardir, os.pardir))
    if sys.platform == "win32":
        file_name = "lsmtp.dll"
        folders = [here, os.path.join(prefix, "bin")]
    else:
        file_name = "liblsmtp.1.dylib" if sys.platform == "darwin" else "liblsmtp.so.1"
        multiarch = sysconfig.get_config_var("MULTIARCH") or ""
        folders = [here] + [os.path.join(prefix, "lib", multiarch), os.path.join(prefix, "lib64"),
                            os.path.join(prefix, "lib")]
    installed = [os.path.join(folder, file_name) for folder in folders]
    return [path for path in installed if os.path.isfile(path)] + [ctypes.util.find_library("lsmtp") or file_name]


_library = None


def _load():
    global _library
    if _library is None:
        # The 32-bit Windows DLL uses the stdcall convention; every other
        # build the platform's C convention.
        loader = ctypes.WinDLL if sys.platform == "win32" and struct.calcsize("P") == 4 else ctypes.CDLL
        errors = []
        for candidate in _library_candidates():
            try:
                library = loader(candidate)
                break
            except OSError as error:
                errors.append(str(error))
        else:
            raise OSError("the lsmtp library was not found: " + "; ".join(errors))
        library.lsmtp_send_mail.argtypes = [ctypes.c_char_p] * 16
        library.lsmtp_send_mail_ex.argtypes = [ctypes.c_char_p] * 16 + [ctypes.c_char_p, ctypes.c_int]
        for function in (library.lsmtp_send_mail, library.lsmtp_send_mail_ex):
            function.restype = ctypes.c_int
        _library = library
    return _library


def load_library():
    """Loads the library (once) and returns its lsmtp_send_mail."""
    return _load().lsmtp_send_mail


def _text(value, what):
    """UTF-8 bytes of a str; None stays None (the library reads it as "")."""
    if value is None:
        return None
    if not isinstance(value, str):
        raise TypeError("%s must be a str, not %s" % (what, type(value).__name__))
    if "\0" in value:
        raise ValueError("%s holds a NUL character, which would cut the text short" % what)
    return value.encode("utf-8")


def _address_pieces(text):
    """An address list split as the library splits it: on "," and ";"
    outside quoted strings (backslash escapes honoured) and angle brackets,
    pieces trimmed, empty ones skipped."""
    pieces, start, quoted, bracketed, i = [], 0, False, False, 0
    while i < len(text):
        c = text[i]
        if quoted:
            if c == "\\":
                i += 1
            elif c == '"':
                quoted = False
        elif c == '"':
            quoted = True
        elif c in "<>":
            bracketed = c == "<"
        elif c in ",;" and not bracketed:
            pieces.append(text[start:i])
            start = i + 1
        i += 1
    pieces.append(text[start:])
    return [piece for piece in (p.strip(" \t\n\v\f\r") for p in pieces) if piece]


def _items(items, what, single=(str,)):
    """The items of a list argument as a list: any iterable, read exactly
    once (a generator has nothing left for a second reading), or one item
    alone."""
    if isinstance(items, single):
        return [items]
    if isinstance(items, (bytes, bytearray)):
        raise TypeError("%s must be one item or an iterable of items, not %s" % (what, type(items).__name__))
    try:
        return list(items)
    except TypeError:
        raise TypeError("%s must be one item or an iterable of items, not %s" % (what, type(items).__name__)) from None


def _list(items, what):
    """The addresses joined with "," as UTF-8 bytes; one str is one item. An
    address may hold "," or ";" inside quotes or angle brackets
    ('"Doe, Jane" <jane@example.org>')."""
    if items is None:
        return None
    items = _items(items, what)
    for item in items:
        if not isinstance(item, str):
            raise TypeError("%s items must be str, not %s" % (what, type(item).__name__))
        if len(_address_pieces(item)) > 1:
            raise ValueError("%s item %r holds ',' or ';', which separate the items of a list" % (what, item))
    return _text(",".join(items), what)


def _file_names(items):
    """The file names joined with "," as bytes: on POSIX the bytes each name
    stands for (os.fsencode), on Windows its UTF-8. One name alone is one
    item."""
    if items is None:
        return None
    names = []
    for item in _items(items, "attachments", (str, bytes, os.PathLike)):
        name = os.fspath(item)
        if sys.platform == "win32" and isinstance(name, bytes):
            raise TypeError("attachments items must be str on Windows, where the library takes UTF-8")
        name = name.encode("utf-8") if sys.platform == "win32" else os.fsencode(name)
        if b"," in name or b";" in name:
            raise ValueError("attachments item %r holds ',' or ';', which separate the items of a list" % item)
        if b"\0" in name:
            raise ValueError("attachments item %r holds a NUL character, which would cut the text short" % item)
        names.append(name)
    return b",".join(names)


def _arguments(host, from_addr, to, cc, bcc, subject, body, attachments, from_header, to_header, cc_header,
               bcc_header, reply_to, receipt_to, comments, mailer):
    """The sixteen arguments of lsmtp_send_mail, in its order."""
    if not host:
        raise ValueError("host is required")
    if from_addr is None:
        raise ValueError('from_addr is required ("" is the null sender <>)')
    recipients = [_list(to, "to"), _list(cc, "cc"), _list(bcc, "bcc")]
    if not any(_address_pieces(joined.decode("utf-8")) for joined in recipients if joined):
        raise ValueError("no recipient: give to, cc or bcc")
    # The three arguments the library requires are never None.
    return (_text(host, "host"), _text(subject, "subject"), _text(body, "body"),
            _text(from_addr, "from_addr"), _text(from_header, "from_header"), recipients[0] or b"",
            _text(to_header, "to_header"), recipients[1], _text(cc_header, "cc_header"), recipients[2],
            _text(bcc_header, "bcc_header"), _list(reply_to, "reply_to"), _list(receipt_to, "receipt_to"),
            _text(comments, "comments"), _text(mailer, "mailer"), _file_names(attachments))


def send_mail(host, *, from_addr, to=None, cc=None, bcc=None, subject=None, body=None, attachments=None,
              from_header=None, to_header=None, cc_header=None, bcc_header=None, reply_to=None,
              receipt_to=None, comments=None, mailer=None):
    """Sends one message over SMTP to port 25 of `host` and returns the
    server's final reply code (below 400) as an Accepted, whose `text` says
    who accepted it. Raises LsmtpError when the server refused the message
    or the library failed; ValueError or TypeError for arguments the call
    cannot take (nothing is sent then; from_addr=None is one, "" is the
    null sender <>). The arguments mean what the C function's do (see
    "man 3 lsmtp_send_mail", from the package liblsmtp-dev, and its README
    in /usr/share/doc/liblsmtp-dev/); the call blocks until the session
    ends."""
    arguments = _arguments(host, from_addr, to, cc, bcc, subject, body, attachments, from_header, to_header,
                           cc_header, bcc_header, reply_to, receipt_to, comments, mailer)
    text = ctypes.create_string_buffer(_RESULT_TEXT_SIZE)
    code = _load().lsmtp_send_mail_ex(*arguments, text, len(text))
    # The library writes UTF-8 and escapes what is not; "replace" only
    # guards against a library that breaks that promise.
    said = text.value.decode("utf-8", "replace")
    if code >= _FIRST_FAILURE:
        raise LsmtpError(code, said)
    return Accepted(code, said)
