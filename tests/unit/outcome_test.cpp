// What a call came to and why: the checked request, the cause of each
// result, and what the session observer hears.
#include "base/session_observer.h"
#include "lsmtp.h"
#include "mail_call.h"
#include "platform/file.h"
#include "platform/seams.h"
#include "platform/file.h"
#include "scripted.h"
#include "smtp_test_server.h"
#include "submit/request.h"
#include "temp_folder.h"
#include "text/text.h"
#include "transport/reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using lsmtp::Outcome;
using lsmtp::Step;
using lsmtp::test::MailCall;
using lsmtp::test::SmtpTestServer;
using lsmtp::test::text;

namespace {

lsmtp::MailArguments arguments_of(const MailCall &call)
{
    return {call.smtp_host, call.subject,   call.body,       call.from_addr,  call.from_header, call.to_list,
            call.to_header, call.cc_list,   call.cc_header,  call.bcc_list,   call.bcc_header,  call.reply_to,
            call.receipt_to, call.comments, call.mailer,     call.attachments};
}

std::string addresses_of(const lsmtp::Request &request)
{
    std::string joined;
    for (const lsmtp::Recipient &recipient : request.recipients)
        joined += (joined.empty() ? "" : " ") + recipient.address;
    return joined;
}

// Remembers everything it hears.
struct Recorder : lsmtp::SessionObserver {
    std::vector<std::string> commands;
    std::vector<std::string> replies;
    std::string headers;
    std::vector<std::pair<std::string, std::size_t>> parts;
    std::vector<Outcome> finished_calls;

    void command(std::string_view line) override { commands.emplace_back(line); }
    void reply(std::string_view reply_text) override { replies.emplace_back(reply_text); }
    void message_headers(std::string_view block) override { headers = block; }
    void message_part(std::string_view part_headers, std::size_t bytes) override
    {
        parts.emplace_back(part_headers, bytes);
    }
    void finished(const Outcome &outcome) override { finished_calls.push_back(outcome); }
};

Outcome outcome_of(const MailCall &call)
{
    Recorder recorder;
    const lsmtp::ScopedSessionObserver observing(recorder);
    const int code = call.send();
    if (recorder.finished_calls.size() != 1)
        return lsmtp::stopped(-1, Step::none, "finished() heard " + std::to_string(recorder.finished_calls.size()));
    EXPECT_EQ(recorder.finished_calls[0].code, code);
    return recorder.finished_calls[0];
}

// One row per argument rule: the code, the argument named, and for a
// call that may go on the envelope it gives.
TEST(Request, EachArgumentRule)
{
    struct Row {
        const char *rule;
        MailCall call;
        int code;
        const char *subject_or_recipients;
    };
    const auto with = [](auto change) {
        MailCall call;
        change(call);
        return call;
    };
    const Row rows[] = {
        {"required host", with([](MailCall &c) { c.smtp_host = nullptr; }), SMTP_ERR_ARGUMENT, "smtp_host"},
        {"required sender", with([](MailCall &c) { c.from_addr = nullptr; }), SMTP_ERR_ARGUMENT, "from_addr"},
        {"required list", with([](MailCall &c) { c.to_list = nullptr; }), SMTP_ERR_ARGUMENT, "to_list"},
        {"optional NULL as empty", with([](MailCall &c) { c.cc_list = c.bcc_list = c.subject = nullptr; }), 0,
         "to@example.test"},
        {"lists split and trimmed", with([](MailCall &c) { c.to_list = " a@x ;\r\nb@x,"; c.bcc_list = ",c@x"; }),
         0, "a@x b@x c@x"},
        {"name and brackets dropped", with([](MailCall &c) { c.to_list = "Ann <a@x>, <b@x>"; }), 0, "a@x b@x"},
        {"separator in quotes", with([](MailCall &c) { c.to_list = "\"Doe, Jane\" <j@x>; \"A \\\"B\\\";\" <a@x>"; }),
         0, "j@x a@x"},
        {"bare local part", with([](MailCall &c) { c.to_list = "postmaster"; }), 0, "postmaster"},
        {"group", with([](MailCall &c) { c.to_list = "undisclosed-recipients:;"; }), SMTP_ERR_ARGUMENT, "to_list"},
        {"text after the address", with([](MailCall &c) { c.cc_list = "Ann <a@x> x"; }), SMTP_ERR_ARGUMENT,
         "cc_list"},
        {"unbalanced quote", with([](MailCall &c) { c.to_list = "\"Ann <a@x>"; }), SMTP_ERR_ARGUMENT, "to_list"},
        {"two addresses in one", with([](MailCall &c) { c.to_list = "<a@x> <b@x>"; }), SMTP_ERR_ARGUMENT,
         "to_list"},
        {"reply_to not an address", with([](MailCall &c) { c.reply_to = "a b@x"; }), SMTP_ERR_ARGUMENT,
         "reply_to"},
        {"stray bracket", with([](MailCall &c) { c.receipt_to = "r@x>"; }), SMTP_ERR_ARGUMENT, "receipt_to"},
        {"space in an address", with([](MailCall &c) { c.cc_list = "a b@x"; }), SMTP_ERR_ARGUMENT, "cc_list"},
        {"bracket left over", with([](MailCall &c) { c.bcc_list = "<a@x"; }), SMTP_ERR_ARGUMENT, "bcc_list"},
        {"control in a name", with([](MailCall &c) { c.to_list = "A\rB <a@x>"; }), SMTP_ERR_ARGUMENT, "to_list"},
        {"unsafe sender", with([](MailCall &c) { c.from_addr = "a@x> SIZE=1"; }), SMTP_ERR_ARGUMENT, "from_addr"},
        {"null reverse path", with([](MailCall &c) { c.from_addr = ""; }), 0, "to@example.test"},
        {"header break", with([](MailCall &c) { c.subject = "a\r\nBcc: x@y"; }), SMTP_ERR_ARGUMENT, "subject"},
        {"fold kept", with([](MailCall &c) { c.comments = "a\r\n b"; }), 0, "to@example.test"},
        {"blank fold", with([](MailCall &c) { c.to_header = "a@x,\r\n \r\n b@x"; }), SMTP_ERR_ARGUMENT,
         "to_header"},
        {"reply_to break", with([](MailCall &c) { c.reply_to = "a@x\nX: y"; }), SMTP_ERR_ARGUMENT, "reply_to"},
        {"mailer break", with([](MailCall &c) { c.mailer = "m\r"; }), SMTP_ERR_ARGUMENT, "mailer"},
        {"control in a file name", with([](MailCall &c) { c.attachments = "dir/a\tb.txt"; }), SMTP_ERR_ARGUMENT,
         "attachments"},
        {"missing file", with([](MailCall &c) { c.attachments = "/nonexistent/lsmtp-file"; }),
         SMTP_ERR_ATTACH_OPEN, "/nonexistent/lsmtp-file"},
        {"folder as file", with([](MailCall &c) { c.attachments = "/"; }), SMTP_ERR_ATTACH_OPEN, "/"},
    };
    for (const Row &row : rows) {
        lsmtp::Request request;
        const Outcome outcome = lsmtp::read_request(arguments_of(row.call), request);
        EXPECT_EQ(outcome.code, row.code) << row.rule;
        if (row.code == 0) {
            EXPECT_EQ(addresses_of(request), row.subject_or_recipients) << row.rule;
            continue;
        }
        EXPECT_EQ(outcome.step, row.code == SMTP_ERR_ARGUMENT ? Step::arguments : Step::attachment) << row.rule;
        EXPECT_EQ(outcome.subject, row.subject_or_recipients) << row.rule;
    }
}

// Why a piece is no envelope address: what the caller will be told.
TEST(Request, EnvelopeAddressFaults)
{
    using lsmtp::AddressFault;
    const std::pair<const char *, AddressFault> rows[] = {
        {"\"Doe, J\" <j@x>", AddressFault::none},          {"a@[IPv6:1::2]", AddressFault::none},
        {"A\rB <a@x>", AddressFault::control_character},   {"team: a@x", AddressFault::group},
        {"\"Ann <a@x>", AddressFault::unclosed_quote},      {"<a@x <b@x>>", AddressFault::second_open_angle},
        {"r@x>", AddressFault::stray_close_angle},          {"Ann <a@x", AddressFault::unclosed_angle},
        {"<a@x> <b@x>", AddressFault::text_after_address}, {"<a b@x>", AddressFault::unsafe_address},
    };
    for (const auto &[piece, fault] : rows) {
        std::string_view address;
        EXPECT_EQ(lsmtp::envelope_address(piece, address), fault) << piece;
    }
}

TEST(Request, WhatTheRecordHolds)
{
    MailCall call;
    call.from_addr = "Ann <ann@example.org>";
    call.to_list = "Bob <bob@x.test>; carl@x.test";
    call.cc_list = "dan@x.test";
    call.bcc_list = "eve@x.test";
    call.subject = "Hi";
    call.attachments = "a/b.txt, c\\d.bin";
    lsmtp::Request request;
    ASSERT_EQ(lsmtp::read_request(arguments_of(call), request).code, SMTP_ERR_ATTACH_OPEN);
    EXPECT_EQ(request.sender, "ann@example.org");
    ASSERT_EQ(request.recipients.size(), 4u);
    EXPECT_EQ(request.recipients[0].written, "Bob <bob@x.test>");
    EXPECT_EQ(request.address_lines, "To:Bob <bob@x.test>, carl@x.test\r\n"
                                     "Reply-To:Ann <ann@example.org>\r\n"
                                     "Sender:Ann <ann@example.org>\r\n"
                                     "From:Ann <ann@example.org>\r\n"
                                     "Cc:dan@x.test\r\n"
                                     "X-Mailer: lumetra mail library\r\n");
    EXPECT_EQ(request.text_lines, "Comments:\r\nSubject:Hi\r\n");
    EXPECT_EQ(request.attachments[1].name, lsmtp::folder_separators == "/" ? "c\\d.bin" : "d.bin");
    ASSERT_EQ(request.attachments.size(), 2u);
    EXPECT_EQ(request.attachments[0].path, "a/b.txt");
    EXPECT_EQ(request.attachments[0].name, "b.txt");
}

// Reply-To and Return-Receipt-To hold addresses as lists do: a bare one
// bracketed, a named one as written, a list joined.
TEST(Request, AddressHeadersHoldAddresses)
{
    struct Row {
        const char *reply_to, *receipt_to, *lines;
    };
    const Row rows[] = {
        {"a@x.org", "r@x.org", "Reply-To:<a@x.org>\r\nReturn-Receipt-To:<r@x.org>\r\n"},
        {"a@x.org, b@x.org", "Ann <r@x.org>", "Reply-To:<a@x.org>, <b@x.org>\r\nReturn-Receipt-To:Ann <r@x.org>\r\n"},
        {"\"Doe, Jane\" <j@x.org>; <k@x.org>", nullptr, "Reply-To:\"Doe, Jane\" <j@x.org>, <k@x.org>\r\n"},
        {nullptr, nullptr, "Reply-To:<sender@example.test>\r\n"},
    };
    for (const Row &row : rows) {
        MailCall call;
        call.reply_to = row.reply_to;
        call.receipt_to = row.receipt_to;
        lsmtp::Request request;
        ASSERT_EQ(lsmtp::read_request(arguments_of(call), request).code, 0) << row.lines;
        std::string lines;
        for (const char *label : {"Reply-To:", "Return-Receipt-To:"}) {
            const std::size_t at = request.address_lines.find(label);
            if (at != std::string::npos)
                lines += request.address_lines.substr(at, request.address_lines.find("\r\n", at) + 2 - at);
        }
        EXPECT_EQ(lines, row.lines);
    }
}

// Each step's cause: the code, the step, what it was about and the
// server's words.
TEST(Outcome, EachStepTellsItsCause)
{
    struct Row {
        const char *key;
        const char *reply;
        int code;
        Step step;
        const char *subject;
    };
    const Row rows[] = {
        {"greeting", "554 go away\r\n", 554, Step::greeting, ""},
        {"HELO", "501 bad\r\n", 501, Step::helo, ""},
        {"MAIL", "553-no\r\n553 such sender\r\n", 553, Step::mail, "sender@example.test"},
        {"RCPT", "550 no mailbox\r\n", 550, Step::rcpt, "to@example.test"},
        {"DATA", "250 not what was asked\r\n", SMTP_ERR_REPLY, Step::data, ""},
        {".", "552 too big\r\n", 552, Step::end_of_data, ""},
        {"QUIT", "500 whatever\r\n", 250, Step::none, ""},
    };
    for (const Row &row : rows) {
        SmtpTestServer server;
        server.reply(row.key, text(row.reply));
        const Outcome outcome = outcome_of(MailCall{});
        EXPECT_EQ(outcome.code, row.code) << row.key;
        EXPECT_EQ(outcome.step, row.step) << row.key;
        EXPECT_EQ(outcome.subject, row.subject) << row.key;
        std::string expected = row.step == Step::none ? "250 queued\r\n" : row.reply;
        expected = expected.substr(0, expected.size() - 2);
        if (const auto at = expected.find("\r\n"); at != std::string::npos)
            expected.replace(at, 2, "\n");
        EXPECT_EQ(outcome.server_text, expected) << row.key;
        server.sessions(1);
    }
}

TEST(Outcome, LocalCausesSayWhatTheSystemSaid)
{
    // Nothing listens on port 25 here.
    const Outcome refused = outcome_of(MailCall{});
    EXPECT_EQ(refused.code, SMTP_ERR_CONNECT);
    EXPECT_EQ(refused.step, Step::connect);
    EXPECT_EQ(refused.subject, "127.0.0.1");
    EXPECT_EQ(refused.system_text, "127.0.0.1: Connection refused");

    MailCall unknown;
    unknown.smtp_host = "no-such-host.invalid";
    const Outcome unresolved = outcome_of(unknown);
    EXPECT_EQ(unresolved.code, SMTP_ERR_CONNECT);
    EXPECT_EQ(unresolved.step, Step::lookup);
    EXPECT_FALSE(unresolved.system_text.empty());

    lsmtp::test::TempFolder folder;
    MailCall copied;
    const std::string file = folder.file("copied.txt", "text");
    copied.attachments = file.c_str();
    {
        // Neither the file's folder nor the temporary one takes the copy.
        lsmtp::platform::Seams seams;
        seams.allow_call = [](lsmtp::platform::Call call, std::size_t) {
            return call != lsmtp::platform::Call::create;
        };
        const lsmtp::platform::ScopedSeams refusing(std::move(seams));
        SmtpTestServer server;
        const Outcome uncopied = outcome_of(copied);
        EXPECT_EQ(uncopied.code, SMTP_ERR_ENCODE_CREATE);
        EXPECT_EQ(uncopied.step, Step::attachment);
        EXPECT_EQ(uncopied.subject, file);
        server.sessions(1);
    }

    MailCall missing;
    const std::string path = (folder.path / "gone.txt").string();
    missing.attachments = path.c_str();
    const Outcome unreadable = outcome_of(missing);
    EXPECT_EQ(unreadable.code, SMTP_ERR_ATTACH_OPEN);
    EXPECT_EQ(unreadable.step, Step::attachment);
    EXPECT_EQ(unreadable.subject, path);
    // The system's own words for a missing file, in its own language.
    const lsmtp::platform::OpenedFile none = lsmtp::platform::open_for_reading(path);
    ASSERT_FALSE(none.file.valid());
    EXPECT_EQ(unreadable.system_text, none.failure.text);
    EXPECT_FALSE(unreadable.system_text.empty());
}

TEST(Outcome, ObserverHearsTheWholeDialogue)
{
    SmtpTestServer server;
    server.reply("RCPT", 2, text("251-will forward\r\n251 \x01\xFF\r\n"));
    MailCall call;
    call.to_list = "a@x.test, b@x.test";
    call.body = "hello";
    Recorder recorder;
    {
        const lsmtp::ScopedSessionObserver observing(recorder);
        EXPECT_EQ(call.send(), 221);
    }
    EXPECT_EQ(recorder.commands, (std::vector<std::string>{"HELO sorvane", "MAIL FROM:<sender@example.test>",
                                                           "RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>", "DATA",
                                                           "QUIT"}));
    ASSERT_EQ(recorder.replies.size(), 8u);
    EXPECT_EQ(recorder.replies[4], "251-will forward\n251 \\x01\\xFF");
    const std::string received = lsmtp::test::only_session(server).data;
    EXPECT_EQ(received.substr(0, recorder.headers.size()), recorder.headers);
    ASSERT_EQ(recorder.parts.size(), 1u);
    EXPECT_NE(received.find(recorder.parts[0].first + "hello"), std::string::npos);
    EXPECT_EQ(recorder.parts[0].second, 5u);
    ASSERT_EQ(recorder.finished_calls.size(), 1u);
    EXPECT_TRUE(recorder.finished_calls[0].accepted());
}

// The null reverse path for an empty sender, and NULL for every optional
// list, from C++ as from C.
TEST(Request, EmptySenderAndNullListsGoOut)
{
    SmtpTestServer server;
    MailCall call;
    call.from_addr = "";
    call.cc_list = nullptr;
    call.bcc_list = nullptr;
    call.attachments = nullptr;
    EXPECT_EQ(call.send(), 221);
    const auto session = lsmtp::test::only_session(server);
    ASSERT_GE(session.commands.size(), 3u);
    EXPECT_EQ(session.commands[1], "MAIL FROM:<>");
    EXPECT_EQ(session.commands[2], "RCPT TO:<to@example.test>");
}

// RFC 2047: an encoded word is at most 75 characters, in every header the
// request writes.
TEST(Request, EncodedWordsStayWithinSeventyFiveCharacters)
{
    std::string long_text;
    for (int i = 0; i < 40; ++i)
        long_text += "Gr\xC3\xBC\xC3\x9F" "e ";
    const std::string name = "\"" + long_text + "\" <a@x.test>";
    MailCall call;
    call.subject = long_text.c_str();
    call.comments = long_text.c_str();
    call.from_header = name.c_str();
    lsmtp::Request request;
    ASSERT_EQ(lsmtp::read_request(arguments_of(call), request).code, 0);
    const std::string lines = request.address_lines + request.text_lines;
    std::size_t words = 0;
    for (std::size_t start = lines.find("=?"); start != std::string::npos; start = lines.find("=?", start + 2)) {
        const std::size_t end = lines.find("?=", lines.find('?', lines.find('?', start + 2) + 1) + 1);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end + 2 - start, 75u) << lines.substr(start, end + 2 - start);
        ++words;
        start = end;
    }
    EXPECT_GT(words, 6u);
}

TEST(ReplyText, JoinsEscapesAndBounds)
{
    struct Row {
        std::string reply, text;
    };
    const Row rows[] = {
        {"250 ok\r\n", "250 ok"},
        {"\r\n250-a\r\n250 b\n", "250-a\n250 b"},
        {"550 caf\xC3\xA9 \x1B[31m\r\n", "550 caf\xC3\xA9 \\x1B[31m"},
        {"550 \xC3 \xED\xA0\x80 \x7F\r\n", "550 \\xC3 \\xED\\xA0\\x80 \\x7F"},
        {"550 " + std::string(600, 'a') + "\r\n", "550 " + std::string(505, 'a') + "..."},
        {"550 " + std::string(506, 'a') + "\xE2\x82\xAC\r\n", "550 " + std::string(505, 'a') + "..."},
        {"550 " + std::string(503, 'a') + "\x01" "bb\r\n", "550 " + std::string(503, 'a') + "..."},
    };
    for (const Row &row : rows) {
        const std::string text = lsmtp::reply_text(row.reply);
        EXPECT_EQ(text, row.text);
        EXPECT_LE(text.size(), lsmtp::max_reply_text);
    }
}

} // namespace
