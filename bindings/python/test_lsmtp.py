"""The Python module: how it turns arguments into the call's sixteen, how it
reports failures, and one real send through the library to aiosmtpd on
127.0.0.1:25 (in a private network namespace). LSMTP_LIBRARY names the
library under test."""
import email
import email.policy
import os
import pathlib
import pickle
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

    def test_every_list_takes_any_iterable_read_once(self):
        shapes = [("list", list), ("tuple", tuple), ("generator", lambda items: (item for item in items)),
                  ("set", set), ("dict", dict.fromkeys)]
        for name in ["to", "cc", "bcc", "reply_to", "receipt_to", "attachments"]:
            for shape, make in shapes:
                with self.subTest(name=name, shape=shape):
                    joined = arguments(**{name: make(["a@x.test", "b@x.test"])})[name]
                    self.assertEqual(sorted(joined.split(b",")), [b"a@x.test", b"b@x.test"])
            self.assertEqual(arguments(**{name: "a@x.test"})[name], b"a@x.test", name)

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
                             ({"to": [b"a@x.test"]}, TypeError),
                             ({"reply_to": b"a@x.test"}, TypeError),
                             ({"cc": 5}, TypeError)]:
            with self.subTest(given=given), self.assertRaises(error):
                arguments(**given)

    def test_errors_carry_the_code_its_name_and_whether_to_try_again_through_pickling(self):
        # The header's table WORTH TRYING AGAIN, row by row.
        for code, name, temporary in [(451, "SERVER_REFUSED_TEMPORARILY", True),
                                      (550, "SERVER_REFUSED_PERMANENTLY", False),
                                      (650, "SERVER_REFUSED_PERMANENTLY", False),
                                      (700, "SMTP_ERR_CONNECT", True), (710, "SMTP_ERR_SOCKET", False),
                                      (711, "SMTP_ERR_RECV", True), (712, "SMTP_ERR_REPLY", False),
                                      (713, "SMTP_ERR_TIMEOUT", True), (720, "SMTP_ERR_ENCODE_CREATE", False),
                                      (721, "SMTP_ERR_ATTACH_OPEN", False), (730, "SMTP_ERR_WRITE", True),
                                      (740, "SMTP_ERR_ARGUMENT", False), (750, "SMTP_ERR_MEMORY", False),
                                      (799, "SMTP_ERR_UNKNOWN", False)]:
            for text in ["", "why, in the library's words"]:
                made = lsmtp.LsmtpError(code, text)
                error = pickle.loads(pickle.dumps(made))
                with self.subTest(code=code, text=text):
                    self.assertEqual((error.code, error.name, error.text, error.temporary),
                                     (code, name, made.text, temporary))
                    self.assertEqual(str(error), "%d %s: %s" % (code, name, text or made.text))

    def test_module_names_its_version_and_codes(self):
        self.assertRegex(lsmtp.__version__, r"^\d+\.\d+\.\d+$")
        self.assertLessEqual({name for name in dir(lsmtp) if name.startswith("SMTP_ERR_")}, set(lsmtp.__all__))


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
        # A generator is read once, for the checks and the call alike.
        code = lsmtp.send_mail("127.0.0.1", from_addr="a@any.test", to=(a for a in ["b@any.test", "c@any.test"]),
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
