"""The Python module: how it turns arguments into the call's sixteen, how it
reports failures, and one real send through the library to aiosmtpd on
127.0.0.1:25 (in a private network namespace). LSMTP_LIBRARY names the
library under test."""
import email
import email.policy
import os
import pathlib
import shutil
import sys
import tempfile
import unittest

from aiosmtpd.controller import Controller

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lsmtp  # noqa: E402

CALL_ORDER = ["host", "subject", "body", "from_addr", "from_header", "to", "to_header", "cc", "cc_header", "bcc",
              "bcc_header", "reply_to", "receipt_to", "comments", "mailer", "attachments"]


def arguments(**given):
    values = dict.fromkeys(CALL_ORDER)
    values.update({"host": "mx.test", "from_addr": "a@any.test", "to": "b@any.test"}, **given)
    return dict(zip(CALL_ORDER, lsmtp._arguments(**{name: values[name] for name in CALL_ORDER})))


class Capture:
    def __init__(self, reply="250 OK"):
        self.reply, self.messages = reply, []

    async def handle_DATA(self, server, session, envelope):
        self.messages.append(envelope)
        return self.reply


class Arguments(unittest.TestCase):
    def test_each_keyword_lands_in_its_place_as_utf8(self):
        values = {name: "%s Grüße" % name for name in CALL_ORDER if name not in ("to", "cc", "bcc", "attachments")}
        call = arguments(to=["a@x.test", "B <b@x.test>"], cc='"Doe, C; D" <c@x.test>', bcc=(),
                         attachments=[pathlib.Path("/f")], **values)
        for name, text in values.items():
            self.assertEqual(call[name], text.encode("utf-8"), name)
        self.assertEqual((call["to"], call["cc"], call["bcc"], call["attachments"]),
                         (b"a@x.test,B <b@x.test>", b'"Doe, C; D" <c@x.test>', b"", b"/f"))

    def test_required_arguments_are_never_null_and_optional_ones_may_be(self):
        call = arguments(from_addr="", to=None, cc="c@x.test")
        self.assertEqual((call["from_addr"], call["to"], call["body"]), (b"", b"", None))

    def test_refused_before_any_call(self):
        for given, error in [({"to": ["a@x.test", "b@x.test;c@x.test"]}, ValueError),
                             ({"to": ['"A, B" <a@x.test>, b@x.test']}, ValueError),
                             ({"attachments": ["a,b.txt"]}, ValueError),
                             ({"attachments": ['"a,b".txt']}, ValueError),
                             ({"subject": "a\0b"}, ValueError),
                             ({"to": None}, ValueError),
                             ({"to": ["", ""]}, ValueError),
                             ({"host": ""}, ValueError),
                             ({"from_addr": None}, ValueError),
                             ({"body": b"bytes"}, TypeError),
                             ({"to": [b"a@x.test"]}, TypeError)]:
            with self.subTest(given=given), self.assertRaises(error):
                arguments(**given)

    def test_errors_carry_the_code_and_its_name(self):
        for code, name in [(700, "SMTP_ERR_CONNECT"), (750, "SMTP_ERR_MEMORY"), (799, "SMTP_ERR_UNKNOWN"),
                           (550, "SERVER_REFUSED_PERMANENTLY"), (451, "SERVER_REFUSED_TEMPORARILY")]:
            error = lsmtp.LsmtpError(code)
            self.assertEqual((error.code, error.name), (code, name))
            self.assertTrue(str(error).startswith("%d %s: " % (code, name)), str(error))


class ThroughTheLibrary(unittest.TestCase):
    def serve(self, capture):
        controller = Controller(capture, hostname="127.0.0.1", port=25)
        controller.start()
        self.addCleanup(controller.stop)

    def test_sends_a_message_with_an_attachment(self):
        capture = Capture()
        self.serve(capture)
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        attachment = pathlib.Path(folder, "data.bin")
        attachment.write_bytes(bytes(range(256)))
        # A name that is not UTF-8: as bytes, and as the str with a surrogate escape that os.listdir gives.
        latin1 = os.path.join(os.fsencode(folder), b"caf\xe9.bin")
        pathlib.Path(os.fsdecode(latin1)).write_bytes(b"latin-1 name")
        code = lsmtp.send_mail("127.0.0.1", from_addr="a@any.test", to=["b@any.test", "c@any.test"],
                               bcc="d@any.test", subject="Report", body="Grüße\n",
                               attachments=[attachment, latin1, os.fsdecode(latin1)])
        self.assertEqual(code, 221)
        self.assertTrue(code.text.endswith(": 250 OK"), code.text)
        self.assertEqual(len(capture.messages), 1)
        envelope = capture.messages[0]
        self.assertEqual(envelope.rcpt_tos, ["b@any.test", "c@any.test", "d@any.test"])
        message = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        parts = list(message.iter_parts())
        self.assertIn("Grüße".encode("utf-8"), parts[0].get_payload(decode=True))
        self.assertEqual((parts[1].get_filename(), parts[1].get_payload(decode=True)), ("data.bin", bytes(range(256))))
        self.assertEqual([part.get_payload(decode=True) for part in parts[2:]], [b"latin-1 name"] * 2)

    def test_refusal_and_failure_raise(self):
        self.serve(Capture(reply="554 no thanks"))
        for host, code, said in [("127.0.0.1", 554, "554 no thanks"), ("127.0.0.2", lsmtp.SMTP_ERR_CONNECT, "127.0.0.2")]:
            with self.subTest(host=host), self.assertRaises(lsmtp.LsmtpError) as raised:
                lsmtp.send_mail(host, from_addr="a@any.test", to="b@any.test")
            self.assertEqual(raised.exception.code, code)
            self.assertIn(said, raised.exception.text)
            self.assertTrue(str(raised.exception).endswith(raised.exception.text))


if __name__ == "__main__":
    unittest.main()
