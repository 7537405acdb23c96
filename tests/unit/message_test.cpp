// The message content as the server receives it: header block, body part,
// attachment parts, transparency and the encoded copies on disk.
#include "mail_call.h"
#include "platform/seams.h"
#include "smtp_test_server.h"
#include "submit/encoded_copy.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <tuple>

namespace fs = std::filesystem;
using lsmtp::test::MailCall;
using lsmtp::test::RecordedSession;
using lsmtp::test::ScriptedReply;
using lsmtp::test::SmtpTestServer;
using lsmtp::test::TempFolder;

namespace {

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Undoes the transparency of the wire: a doubled leading dot becomes one.
std::string unstuff(const std::string &data)
{
    std::string out;
    bool line_start = true;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (line_start && data[i] == '.')
            ++i;
        if (i < data.size())
            out += data[i];
        line_start = i < data.size() && data[i] == '\n';
    }
    return out;
}

RecordedSession send_one(const MailCall &call, int expected = 221)
{
    SmtpTestServer server;
    EXPECT_EQ(call.send(), expected);
    auto sessions = server.sessions(1);
    EXPECT_EQ(sessions.size(), 1u);
    return sessions.empty() ? RecordedSession{} : sessions[0];
}

// Whether `text` is a Date value such as "Sat, 03 Jul 2004 12:34:56 GMT".
bool is_date_value(const std::string &text)
{
    const std::string shape = "Www, 00 Mmm 0000 00:00:00 GMT";
    const std::string days = "SunMonTueWedThuFriSat", months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        const bool named = std::string_view("WwMm").find(shape[i]) != std::string_view::npos;
        if ((shape[i] == '0') != digit || (shape[i] != '0' && !named && shape[i] != text[i]))
            return false;
    }
    return days.find(text.substr(0, 3)) % 3 == 0 && days.find(text.substr(0, 3)) != std::string::npos &&
           months.find(text.substr(8, 3)) % 3 == 0 && months.find(text.substr(8, 3)) != std::string::npos;
}

// The header block, without its Date line.
std::string headers_after_date(const std::string &data)
{
    const std::size_t date_end = data.find(" \r\n");
    EXPECT_TRUE(data.rfind("Date: ", 0) == 0 && date_end != std::string::npos && is_date_value(data.substr(6, date_end - 6)))
        << data.substr(0, 60);
    std::size_t start = date_end == std::string::npos ? 0 : date_end + 3;
    // The Message-ID differs in every message; its form is checked here,
    // its parts by the message identifier tests.
    const std::size_t id_end = data.find(">\r\n", start);
    EXPECT_TRUE(data.compare(start, 13, "Message-ID: <") == 0 && id_end != std::string::npos &&
                data.find('@', start) < id_end)
        << data.substr(start, 80);
    start = id_end == std::string::npos ? start : id_end + 3;
    const std::size_t end = data.find("\r\n\r\n--Message-Boundary-21132\r\n");
    return data.substr(start, end - start + 2);
}

const std::string text_part_head = "\r\n--Message-Boundary-21132\r\n"
                                   "Content-Type: text/plain\r\n"
                                   "Content-description: Body of message\r\n\r\n";
const std::string closing = "\r\n--Message-Boundary-21132--\r\n";

} // namespace

TEST(Message, WholeStreamWithBodyAndOneAttachment)
{
    TempFolder folder;
    const std::string attachment = folder.file("report.txt", "abc");
    MailCall call;
    call.to_list = "a@x.test";
    call.subject = "Report";
    call.body = "Hello,\r\nworld";
    call.attachments = attachment.c_str();
    const RecordedSession session = send_one(call);
    ASSERT_TRUE(session.data_complete);
    EXPECT_EQ(headers_after_date(session.data), "To:a@x.test\r\n"
                                                "Reply-To:<sender@example.test>\r\n"
                                                "Sender:sender@example.test\r\n"
                                                "From:sender@example.test\r\n"
                                                "X-Mailer: lumetra mail library\r\n"
                                                "MIME-Version: 1.0\r\n"
                                                "Content-Type: Multipart/Mixed; boundary=Message-Boundary-21132\r\n"
                                                "Comments:\r\n"
                                                "Subject:Report\r\n");
    const std::string parts = session.data.substr(session.data.find("\r\n\r\n--") + 2);
    EXPECT_EQ(parts, text_part_head + "Hello,\r\nworld\r\n"
                                      "\r\n--Message-Boundary-21132\r\n"
                                      "Content-Type: application/octet-stream; name=report.txt\r\n"
                                      "Content-Transfer-Encoding: base64\r\n"
                                      "Content-Disposition: attachment; filename=report.txt\r\n\r\n"
                                      "YWJj\r\n" +
                         closing + "\r\n");
    EXPECT_EQ(folder.names(), std::set<std::string>{"report.txt"});
}

// A null optional argument reads as "", and a header line written from a
// list carries its trimmed pieces, so a list's trailing line break cannot
// end the header block early.
TEST(Message, NullOptionalArgumentsAndListLines)
{
    MailCall call;
    call.subject = call.comments = call.bcc_list = nullptr;
    call.to_list = "a@x.test;b@x.test\r\n";
    call.cc_list = "Ann <c@x.test>,\n\td@x.test\n";
    const std::string headers = headers_after_date(send_one(call).data);
    EXPECT_NE(headers.find("To:a@x.test, b@x.test\r\nReply-To:"), std::string::npos);
    EXPECT_NE(headers.find("Cc:Ann <c@x.test>, d@x.test\r\nX-Mailer:"), std::string::npos);
    EXPECT_NE(headers.find("Comments:\r\nSubject:\r\n"), std::string::npos);
}

// The server refuses the message mid-way (or just goes) and closes: its
// reply is the result (730 without one), and the work stops at once: the
// second file is never read or encoded.
TEST(Message, ServerGoneMidDataEndsTheWork)
{
    TempFolder folder;
    const std::string list =
        folder.file("first.bin", std::string(1 << 20, 'a')) + ";" + folder.file("second.bin", std::string(4 << 20, 'b'));
    ScriptedReply refusal;
    refusal.text = "552 5.3.4 message too big\r\n";
    refusal.close_after = true;
    ScriptedReply gone;
    gone.close = true;
    // The encoder pauses once per whole 5,700 bytes: 183 times for the first
    // file; the pause after them comes once its first 8 KiB are sent.
    constexpr std::size_t encoding_pauses = (1 << 20) / 5700;
    for (auto [early, result] : {std::pair(refusal, 552), std::pair(gone, int{SMTP_ERR_WRITE})}) {
        early.after_data_bytes = 2048;  // some of the first file's content
        SmtpTestServer server;
        server.reply(".", early);
        std::size_t pauses = 0;
        lsmtp::platform::Seams counting;
        counting.pause = [&](int) {
            if (++pauses == encoding_pauses + 1)
                server.sessions(1);  // the server has gone
        };
        lsmtp::platform::ScopedSeams seams(counting);
        MailCall call;
        call.attachments = list.c_str();
        EXPECT_EQ(call.send(), result);
        EXPECT_FALSE(server.sessions(1)[0].data_complete);
        // Streaming the rest of the first file would pause 170 times more,
        // encoding the second file 735 times.
        EXPECT_GT(pauses, encoding_pauses) << result;
        EXPECT_LT(pauses, encoding_pauses + 20) << result;
    }
    EXPECT_EQ(folder.names(), (std::set<std::string>{"first.bin", "second.bin"}));
}

TEST(Message, HeaderFallbacksAndOptionalLines)
{
    MailCall call;
    call.to_list = "a@x.test, b@x.test";
    call.cc_list = "c@x.test";
    call.bcc_list = "blind@x.test";
    const std::string plain = headers_after_date(send_one(call).data);
    EXPECT_NE(plain.find("To:a@x.test, b@x.test\r\nReply-To:<sender@example.test>\r\n"), std::string::npos);
    EXPECT_NE(plain.find("From:sender@example.test\r\nCc:c@x.test\r\nX-Mailer: lumetra mail library\r\n"),
              std::string::npos);
    EXPECT_EQ(plain.find("Bcc:"), std::string::npos) << "a blind copy must not show its recipients";
    EXPECT_EQ(plain.find("Return-Receipt-To:"), std::string::npos);

    call.from_header = "Sender Name <sender@example.test>";
    call.reply_to = "Replies <r@x.test>";
    call.to_header = "Undisclosed";
    call.bcc_header = "hidden@x.test";
    call.receipt_to = "receipts@x.test";
    call.mailer = "test mailer";
    call.comments = "a comment";
    const RecordedSession session = send_one(call);
    EXPECT_EQ(headers_after_date(session.data), "To:Undisclosed\r\n"
                                                "Reply-To:Replies <r@x.test>\r\n"
                                                "Sender:Sender Name <sender@example.test>\r\n"
                                                "From:Sender Name <sender@example.test>\r\n"
                                                "Cc:c@x.test\r\n"
                                                "Bcc:hidden@x.test\r\n"
                                                "Return-Receipt-To:<receipts@x.test>\r\n"
                                                "X-Mailer: test mailer\r\n"
                                                "MIME-Version: 1.0\r\n"
                                                "Content-Type: Multipart/Mixed; boundary=Message-Boundary-21132\r\n"
                                                "Comments:a comment\r\n"
                                                "Subject:Test subject\r\n");
    // The envelope keeps from_addr, and a Bcc header never adds a recipient.
    EXPECT_EQ(session.commands[1], "MAIL FROM:<sender@example.test>");
    EXPECT_EQ(std::vector<std::string>(session.commands.begin() + 2, session.commands.begin() + 6),
              (std::vector<std::string>{"RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>", "RCPT TO:<c@x.test>",
                                        "RCPT TO:<blind@x.test>"}));
}

TEST(Message, LongSubjectIsWrittenWhole)
{
    const std::string subject(500, 's');
    MailCall call;
    call.subject = subject.c_str();
    EXPECT_NE(send_one(call).data.find("Subject:" + subject + "\r\n"), std::string::npos);
}

TEST(Message, BodyLinesAreMadeSafeAndReadBackExactly)
{
    MailCall call;
    call.body = ".\n..\r\n. x\rbare cr\nlast";
    const RecordedSession session = send_one(call);
    ASSERT_TRUE(session.data_complete);
    // On the wire every leading dot is doubled and every line ends in CR LF.
    EXPECT_NE(session.data.find("\r\n\r\n..\r\n...\r\n.. x\r\nbare cr\r\nlast\r\n"), std::string::npos);
    const std::string content = unstuff(session.data);
    EXPECT_NE(content.find(text_part_head + ".\r\n..\r\n. x\r\nbare cr\r\nlast\r\n" + closing), std::string::npos);
    // A "." line in the body is stuffed too: it cannot end the data early.
    call.body = "first\r\n.\r\nQUIT\r\n";
    const RecordedSession early = send_one(call);
    EXPECT_TRUE(early.data_complete);
    EXPECT_EQ(std::count(early.commands.begin(), early.commands.end(), "QUIT"), 1);
    EXPECT_EQ(early.commands.back(), "QUIT");
    EXPECT_NE(early.data.find("first\r\n..\r\nQUIT\r\n"), std::string::npos);
}

TEST(Message, OverlongBodyLinesGoQuotedPrintable)
{
    const std::string line(2000, 'x');
    const std::string body = "short\r\n" + line + "\r\nend=";
    MailCall call;
    call.body = body.c_str();
    const std::string data = send_one(call).data;
    EXPECT_NE(data.find("Content-Transfer-Encoding: quoted-printable\r\n"), std::string::npos);
    std::size_t start = 0;
    for (std::size_t end; (end = data.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 998u);
    EXPECT_NE(data.find("end=3D\r\n"), std::string::npos);
}

// The CR LF before a boundary line is the delimiter's: only a body without a
// final line break gets one added (an empty part stands in for no body).
TEST(Message, TextPartEndsAsTheBodyDoes)
{
    for (const auto &[body, wire] : std::vector<std::pair<const char *, std::string>>{
             {"abc\n", "abc\r\n"}, {"abc\r\n", "abc\r\n"}, {"abc\r", "abc\r\n"}, {"abc\n\n", "abc\r\n\r\n"},
             {"abc", "abc\r\n"}, {"", "\r\n"}, {nullptr, "\r\n"}}) {
        MailCall call;
        call.body = body;
        const std::string data = send_one(call).data;
        EXPECT_EQ(data.substr(data.find("Subject:Test subject\r\n") + 22), text_part_head + wire + closing + "\r\n")
            << (body ? body : "null");
    }
}

TEST(Message, AttachmentsOfEdgeSizesAreEncodedWhole)
{
    TempFolder folder;
    const std::string empty = folder.file("empty.bin", "");
    const std::string one = folder.file("one.bin", "a");
    const std::string list = empty + " ; " + one;
    MailCall call;
    call.attachments = list.c_str();
    const std::string data = send_one(call).data;
    EXPECT_NE(data.find("filename=empty.bin\r\n\r\n\r\n--Message-Boundary-21132\r\n"), std::string::npos);
    EXPECT_NE(data.find("filename=one.bin\r\n\r\nYQ==\r\n" + closing), std::string::npos);
    EXPECT_EQ(folder.names(), (std::set<std::string>{"empty.bin", "one.bin"}));
}

TEST(Message, StreamingPausesAfterEverySecondRead)
{
    // 3,021 source bytes make 53 base64 lines, 4,134 bytes: two reads of the
    // copy and one pause; 2,964 bytes make 4,056: one read, no pause; 9,000
    // bytes make 158 lines (one pause while encoding), 12,398 bytes: four
    // reads, two pauses.
    for (const auto &[size, pauses] : {std::pair{3021u, 1}, std::pair{2964u, 0}, std::pair{9000u, 3}}) {
        TempFolder folder;
        const std::string path = folder.file("data.bin", std::string(size, 'z'));
        int counted = 0;
        lsmtp::platform::Seams counting;
        counting.pause = [&](int ms) { counted += ms; };
        lsmtp::platform::ScopedSeams seams(counting);
        MailCall call;
        call.attachments = path.c_str();
        const std::string data = send_one(call).data;
        EXPECT_EQ(counted, pauses) << size;
        // Chunk borders split CR LF pairs; the lines must come out whole:
        // "enp6" (base64 of "zzz") in full lines of 76, no empty line.
        const std::string part_head = "filename=data.bin\r\n\r\n";
        const std::size_t start = data.find(part_head) + part_head.size();
        const std::string lines = data.substr(start, data.find(closing) - start);
        std::string expected;
        for (std::size_t groups = 0; groups < (size + 2) / 3; ++groups)
            expected += groups % 19 == 18 || groups + 1 == (size + 2) / 3 ? "enp6\r\n" : "enp6";
        EXPECT_TRUE(lines == expected) << size << " bytes arrived as:\n" << lines.substr(0, 400);
    }
}

// A file that shrinks while it is encoded would go out torn: 721, and its
// part never starts.
TEST(Message, AttachmentThatShrinksWhileEncodedFails)
{
    TempFolder folder;
    const std::string path = folder.file("shrinking.bin", std::string(100000, 'c'));
    lsmtp::platform::Seams shrinking;
    // The first pause comes after the first block of the file was read.
    shrinking.pause = [&](int) { fs::resize_file(path, 30000); };
    lsmtp::platform::ScopedSeams seams(shrinking);
    MailCall call;
    call.attachments = path.c_str();
    const RecordedSession session = send_one(call, SMTP_ERR_ATTACH_OPEN);
    EXPECT_FALSE(session.data_complete);
    EXPECT_EQ(session.data.find("filename=shrinking.bin"), std::string::npos);
}

// Blank pieces of the list are skipped and the others trimmed, without a
// change to the caller's text; with no body there is no text part.
TEST(Message, AttachmentPiecesAreTrimmedAndBlankOnesSkipped)
{
    TempFolder folder;
    const std::string path = folder.file("my report.pdf", "%PDF");
    std::string list = " , " + path + "\t; \r\n";
    const std::string before = list;
    MailCall call;
    call.attachments = list.c_str();
    const std::string data = send_one(call).data;
    EXPECT_EQ(list, before);
    EXPECT_EQ(data.find("Content-Type: text/plain"), std::string::npos);
    EXPECT_NE(data.find("name=\"my report.pdf\"\r\n"), std::string::npos);
    EXPECT_NE(data.find("filename=\"my report.pdf\"\r\n\r\nJVBERg==\r\n\r\n--Message-Boundary-21132--"),
              std::string::npos);
}

TEST(EncodedCopy, NameStaysWithinTheLimitAndCutsBetweenCharacters)
{
    const std::string e_acute = "\xc3\xa9";
    std::string accents;
    for (int i = 0; i < 130; ++i)
        accents += e_acute;
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"report", 3, "report-3.b64"},
        {std::string(252, 'a'), 0, std::string(251, 'a') + ".b64"},
        {std::string(300, 'a'), 12, std::string(248, 'a') + "-12.b64"},
        {accents, 0, accents.substr(0, 250) + ".b64"},  // 251 would split a character
    };
    for (const auto &[stem, attempt, expected] : cases) {
        const std::string name = lsmtp::encoded_copy_name(stem, attempt);
        EXPECT_EQ(name, expected) << stem.size() << " bytes, attempt " << attempt;
        EXPECT_LE(name.size(), 255u);
    }
}

// The copies never replace, follow or leave anything in the folder, even
// where other files carry the names a copy would take.
TEST(EncodedCopy, LookalikeNamesBesideTheFileStayUntouched)
{
    TempFolder folder;
    const std::string attachment = folder.file("x.b64", "attachment");
    const std::string other = folder.file("y.txt", "payload");
    folder.file("y.b64", "unrelated");
    std::error_code no_links;  // where links cannot be made, a plain file stands in
    fs::create_symlink(folder.path / "target", folder.path / "y-1.b64", no_links);
    if (no_links)
        folder.file("y-1.b64", "unrelated too");
    const std::set<std::string> before = folder.names();

    const std::string list = attachment + ";" + other;
    MailCall call;
    call.attachments = list.c_str();
    const std::string data = send_one(call).data;
    EXPECT_NE(data.find("filename=x.b64\r\n\r\nYXR0YWNobWVudA==\r\n"), std::string::npos);
    EXPECT_NE(data.find("filename=y.txt\r\n\r\ncGF5bG9hZA==\r\n"), std::string::npos);
    EXPECT_EQ(folder.names(), before);
    EXPECT_EQ(read_file(folder.path / "y.b64"), "unrelated");
    EXPECT_FALSE(fs::exists(folder.path / "target"));
}

TEST(Message, InternationalTextGoesOutSevenBit)
{
    TempFolder folder;
#ifdef _WIN32
    // Windows callers name files in the ANSI code page (here windows-1252);
    // the name the reader sees is read from it, as UTF-8.
    const std::string attachment = folder.path.string() + "/r\xE9sum\xE9.pdf";
#else
    const std::string attachment = folder.path.string() + "/r\xC3\xA9sum\xC3\xA9.pdf";
#endif
    std::ofstream(attachment.c_str(), std::ios::binary) << "%PDF"; // named by the bytes, as the library opens it
    MailCall call;
    call.subject = "Gr\xC3\xBC\xC3\x9F" "e";
    call.from_header = "J\xC3\xBCrgen <sender@example.test>";
    call.body = "sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e";
    call.attachments = attachment.c_str();
    const std::string data = send_one(call).data;
    EXPECT_EQ(std::count_if(data.begin(), data.end(), [](char c) { return static_cast<unsigned char>(c) > 127; }), 0);
    for (const char *expected : {"\r\nSubject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n", "\r\nFrom: =?UTF-8?Q?J=C3=BCrgen?= <sender@example.test>\r\n",
                                 "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                                 "sch=C3=B6ne Gr=C3=BC=C3=9Fe\r\n", "; name=\"=?UTF-8?B?csOpc3Vtw6kucGRm?=\"\r\n",
                                 "attachment; filename*=UTF-8''r%C3%A9sum%C3%A9.pdf\r\n"})
        EXPECT_NE(data.find(expected), std::string::npos) << expected;
}

TEST(Message, BodyHoldingTheBoundaryLineGetsAnotherBoundary)
{
    MailCall call;
    call.body = "forwarded:\r\n--Message-Boundary-21132\r\nContent-Type: text/html\r\n";
    const std::string data = send_one(call).data;
    EXPECT_NE(data.find("boundary=Message-Boundary-21132-1\r\n"), std::string::npos);
    EXPECT_NE(data.find("\r\n\r\n--Message-Boundary-21132-1\r\nContent-Type: text/plain\r\n"), std::string::npos);
    EXPECT_NE(data.find("text/html\r\n\r\n--Message-Boundary-21132-1--\r\n"), std::string::npos);
}
