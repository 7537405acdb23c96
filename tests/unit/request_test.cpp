// The checked request: each argument's rule, the envelope addresses and
// the header lines the record holds.
#include "lsmtp.h"
#include "mail_call.h"
#include "scripted.h"
#include "smtp_test_server.h"
#include "submit/request.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>

using lsmtp::Outcome;
using lsmtp::Step;
using lsmtp::test::MailCall;
using lsmtp::test::with;
using lsmtp::test::SmtpTestServer;

namespace {

std::string addresses_of(const lsmtp::Request &request)
{
    std::string joined;
    for (const lsmtp::Recipient &recipient : request.recipients)
        joined.append(joined.empty() ? "" : " ").append(recipient.address);
    return joined;
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
        const Outcome outcome = lsmtp::read_request(row.call.arguments(), request);
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
    ASSERT_EQ(lsmtp::read_request(call.arguments(), request).code, SMTP_ERR_ATTACH_OPEN);
    EXPECT_EQ(request.sender, "ann@example.org");
    ASSERT_EQ(request.recipients.size(), 4u);
    EXPECT_EQ(request.recipients[0].written, "Bob <bob@x.test>");
    EXPECT_EQ(request.address_lines(), "To:Bob <bob@x.test>, carl@x.test\r\n"
                                     "Reply-To:Ann <ann@example.org>\r\n"
                                     "Sender:Ann <ann@example.org>\r\n"
                                     "From:Ann <ann@example.org>\r\n"
                                     "Cc:dan@x.test\r\n"
                                     "X-Mailer: lumetra mail library\r\n");
    EXPECT_EQ(request.text_lines(), "Comments:\r\nSubject:Hi\r\n");
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
        ASSERT_EQ(lsmtp::read_request(call.arguments(), request).code, 0) << row.lines;
        std::string lines;
        for (const char *label : {"Reply-To:", "Return-Receipt-To:"}) {
            const std::size_t at = request.address_lines().find(label);
            if (at != std::string::npos)
                lines += request.address_lines().substr(at, request.address_lines().find("\r\n", at) + 2 - at);
        }
        EXPECT_EQ(lines, row.lines);
    }
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
    ASSERT_EQ(lsmtp::read_request(call.arguments(), request).code, 0);
    const std::string lines = request.header_lines;
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

} // namespace
