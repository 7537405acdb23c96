// The reply reader: scan_reply from byte strings alone, read_reply over a
// real socket pair, and reply_text, the reply as a caller may show it.
#include "portable.h"
#include "transport/connection.h"
#include "transport/reply.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#ifndef _WIN32
#include <csignal>
#include <optional>
#include <pthread.h>
#endif
#include <string>
#include <thread>
#include <vector>

using lsmtp::ReplyScan;
using lsmtp::scan_reply;
using Status = lsmtp::ReplyScan::Status;
using Got = lsmtp::Reply::Status;
using namespace std::chrono_literals;

namespace {

std::string lines_of(std::size_t count, const std::string &code)
{
    std::string reply;
    for (std::size_t i = 1; i < count; ++i)
        reply += code + "-line\r\n";
    return reply + code + " last\r\n";
}

TEST(ScanReply, CompleteRepliesGiveTheirCodeAndLength)
{
    struct Case {
        std::string text;
        int code;
        std::size_t consumed;
    };
    const std::vector<Case> cases = {
        {"250 OK\r\n", 250, 8},
        {"250\r\n", 250, 5},
        {"354 go ahead\n", 354, 13},  // a bare LF ends a line too
        {"221 bye\r\nrest", 221, 9},
        {"220-first\r\n220-second\r\n220 third\r\n", 220, 34},
        {"250-\r\n250 \r\n", 250, 12},
        {"  250 OK\r\n", 250, 10},
        {"\r\n\r\n250 OK\r\n", 250, 12},
        {" \t\n\v\f\r550 no\r\n", 550, 14},
        {"199 x\r\n", 199, 7},
        {"599 x\r\n", 599, 7},
        {std::string("250 with\0nul\r\n", 14), 250, 14},  // a NUL is just a byte of the text
    };
    for (const Case &c : cases) {
        const ReplyScan scan = scan_reply(c.text);
        EXPECT_EQ(scan.status, Status::complete) << c.text;
        EXPECT_EQ(scan.code, c.code) << c.text;
        EXPECT_EQ(scan.consumed, c.consumed) << c.text;
    }
}

TEST(ScanReply, IncompleteRepliesNeedMore)
{
    for (const char *text : {"", " ", "\r\n", "2", "25", "250", "250 OK", "250 OK\r", "250-first\r\n",
                             "250-first\r\n250", "250-first\r\n250 second"}) {
        EXPECT_EQ(scan_reply(text).status, Status::need_more) << text;
    }
}

// However the bytes arrive, the answer is the same: no prefix of a reply is
// ever taken for a reply of its own, so "5" then "50 ..." cannot pass.
TEST(ScanReply, EveryPrefixNeedsMoreUntilTheReplyEnds)
{
    const std::vector<std::pair<std::string, int>> replies = {
        {"550 mailbox unavailable\r\n", 550},
        {"220-one\r\n220-two\r\n220 three\r\n", 220},
        {"\r\n  451 try later\r\n", 451},
    };
    for (const auto &[reply, code] : replies) {
        const std::string received = reply + "250 next\r\n";
        for (std::size_t cut = 0; cut < reply.size(); ++cut)
            EXPECT_EQ(scan_reply(received.substr(0, cut)).status, Status::need_more) << reply << " cut " << cut;
        for (std::size_t cut = reply.size(); cut <= received.size(); ++cut) {
            const ReplyScan scan = scan_reply(received.substr(0, cut));
            EXPECT_EQ(scan.status, Status::complete) << reply << " cut " << cut;
            EXPECT_EQ(scan.code, code);
            EXPECT_EQ(scan.consumed, reply.size());
        }
    }
}

TEST(ScanReply, LeftoverStartsTheNextReply)
{
    const std::string received = "250 OK\r\n\r\n\r\n251 later\r\n";
    const ReplyScan first = scan_reply(received);
    ASSERT_EQ(first.status, Status::complete);
    EXPECT_EQ(first.consumed, 8u);
    const ReplyScan second = scan_reply(std::string_view(received).substr(first.consumed));
    EXPECT_EQ(second.status, Status::complete);
    EXPECT_EQ(second.code, 251);
    EXPECT_EQ(second.consumed, received.size() - first.consumed);
}

TEST(ScanReply, AnythingButAnSmtpReplyIsMalformed)
{
    for (const char *text : {
             "hello there\r\n",    // another service's banner
             "+OK ready\r\n",
             "2\r\n", "25\r\n",    // too short
             "2500 x\r\n",         // four digits
             "250x\r\n",           // no separator after the code
             "25a ok\r\n",
             "650 x\r\n", "050 x\r\n", "950 x\r\n",  // first digit outside 1-5
             "-250 x\r\n", "+25 x\r\n",
             "250-a\r\nxyz\r\n",   // a later line that is not a reply line
             "250-a\r\n\r\n250 b\r\n",  // a blank line inside a reply
             "554-rejected\r\n250 ok\r\n",  // each line must carry the same code
             "250-a\r\n251 b\r\n", "250-a\r\n250-b\r\n350 c\r\n",
             "550-a\r\n2", "550-a\r\n56", "550-a\r\n551",  // known bad before the line ends
             "\xa0" "250 x\r\n",   // a byte above 0x7f is not white space
             "\x85" "250 x\r\n",
             "6", "x", "25x",      // known bad before the line ends
         }) {
        EXPECT_EQ(scan_reply(text).status, Status::malformed) << text;
    }
}

// Each bound takes its limit and refuses one more, and an excess is refused
// as soon as it starts, not when its line ends: the buffer cannot grow
// without bound while we wait for an LF.
TEST(ScanReply, LinesTheirCountAndLeadingWhiteSpaceAreBounded)
{
    const std::size_t line = lsmtp::max_reply_line;
    const std::string longest = "250 " + std::string(line - 5, 'x') + "\r";  // CR included
    ASSERT_EQ(longest.size(), line);
    std::string endless;
    for (std::size_t i = 0; i <= lsmtp::max_reply_lines; ++i)
        endless += "250-more\r\n";
    const std::pair<std::string, Status> rows[] = {
        {longest + "\n", Status::complete},
        {"250 x" + longest + "\n", Status::malformed},
        {"250 " + std::string(line, 'x'), Status::malformed},
        {"250-a\r\n250 " + std::string(line, 'x'), Status::malformed},
        {lines_of(lsmtp::max_reply_lines, "250"), Status::complete},
        {lines_of(lsmtp::max_reply_lines + 1, "250"), Status::malformed},
        {endless, Status::malformed},
        {std::string(line, '\n') + "250 OK\r\n", Status::complete},
        {std::string(line + 1, '\n'), Status::malformed},
        {std::string(line + 1, ' ') + "250 OK\r\n", Status::malformed},
    };
    for (const auto &[text, status] : rows) {
        const ReplyScan scan = scan_reply(text);
        EXPECT_EQ(scan.status, status) << text.size() << " bytes: " << text.substr(0, 40);
        if (status == Status::complete) {
            EXPECT_EQ(scan.code, 250) << text.size() << " bytes";
        }
    }
}

// read_reply over one end of a socket pair; the test plays the server on
// the other end.
class ReadReply : public ::testing::Test {
protected:
    void SetUp() override
    {
        lsmtp::test::RawSocket ends[2];
        ASSERT_TRUE(lsmtp::test::socket_pair(ends));
        client_ = ends[0];
        connection_.emplace(lsmtp::platform::Socket{ends[0]});
        server_ = ends[1];
    }
    void TearDown() override { close_server(); }

    void serve(const std::string &bytes)
    {
        ASSERT_EQ(lsmtp::test::socket_write(server_, bytes.data(), bytes.size()), static_cast<long>(bytes.size()));
    }
    void close_server()
    {
        if (server_ >= 0)
            lsmtp::test::socket_close(server_);
        server_ = -1;
    }
    // Bytes the client end has not received yet.
    int unread() const
    {
        return lsmtp::test::socket_unread(client_);
    }
    // Writes each piece only once the client has taken everything before
    // it, so that every piece arrives in a receive of its own.
    std::thread serve_in_pieces(std::vector<std::string> pieces)
    {
        return std::thread([this, pieces = std::move(pieces)] {
            for (const std::string &piece : pieces) {
                while (unread() > 0)
                    std::this_thread::yield();
                serve(piece);
            }
        });
    }

    std::optional<lsmtp::Connection> connection_;
    lsmtp::test::RawSocket client_ = lsmtp::test::no_socket;
    lsmtp::test::RawSocket server_ = lsmtp::test::no_socket;
};

TEST_F(ReadReply, PutsAReplySplitAcrossReceivesBackTogether)
{
    std::thread server = serve_in_pieces({"5", "5", "0", "-mailbox\r", "\n550 unavailable", "\r\n250 next\r\n"});
    EXPECT_EQ(connection_->read_reply(5s).code, 550);
    server.join();
    EXPECT_EQ(connection_->read_reply(5s).code, 250);
    EXPECT_EQ(connection_->read_reply(50ms).status, Got::timed_out);
}

TEST_F(ReadReply, AnswersFromLeftoverWithoutTheNetwork)
{
    serve("220-first\r\n220 second\r\n250 OK\r\n\r\n354 go ahead\r\n");
    close_server();  // any receive from now on would fail
    EXPECT_EQ(connection_->read_reply(5s).code, 220);
    EXPECT_EQ(connection_->read_reply(5s).code, 250);
    EXPECT_EQ(connection_->read_reply(5s).code, 354);
    EXPECT_EQ(connection_->read_reply(5s).status, Got::lost);
}

TEST_F(ReadReply, ClosingInsideAReplyIsARecvError)
{
    serve("250-first line\r\n250 sec");
    close_server();
    EXPECT_EQ(connection_->read_reply(5s).status, Got::lost);
}

TEST_F(ReadReply, AnUnfinishedReplyTimesOut)
{
    serve("5");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection_->read_reply(200ms).status, Got::timed_out);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
}

// The limit covers the whole reply: a server that keeps sending bytes of a
// reply that never ends cannot hold the caller past it.
TEST_F(ReadReply, TricklingBytesDoNotExtendTheLimit)
{
    std::atomic<bool> stop{false};
    std::thread server([&] {
        const std::string line = "250-" + std::string(1000, 'x') + "\r\n";
        const auto give_up = std::chrono::steady_clock::now() + 10s;  // so a fault cannot hang the suite
        for (std::size_t i = 0; !stop && std::chrono::steady_clock::now() < give_up; ++i) {
            while (unread() > 0 && !stop)
                std::this_thread::yield();
            if (lsmtp::test::socket_write(server_, &line[i % line.size()], 1) != 1)
                break;
        }
        lsmtp::test::socket_shutdown(server_);
    });
    const auto start = std::chrono::steady_clock::now();
    const Got got = connection_->read_reply(100ms).status;
    const auto took = std::chrono::steady_clock::now() - start;
    stop = true;
    server.join();
    EXPECT_EQ(got, Got::timed_out);
    EXPECT_LT(took, 5s);
}

// Every reply has its own limit, whatever the wait before it was allowed,
// and the time a reply's first piece took counts against the rest.
TEST_F(ReadReply, EachReplyKeepsItsOwnLimitAcrossPieces)
{
    serve("220 ready\r\n");
    EXPECT_EQ(connection_->read_reply(60s).code, 220);

    // A short limit after a long one; the reply's first piece is there, the
    // rest never comes.
    serve("250-first piece\r\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection_->read_reply(200ms).status, Got::timed_out);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 5s);

    // A long limit after a short one: a slow server is waited for to the
    // end. The pause stands for the server's slowness; the result does not
    // depend on its length.
    std::thread slow([&] {
        std::this_thread::sleep_for(600ms);
        serve("250 late\r\n");
    });
    EXPECT_EQ(connection_->read_reply(60s).code, 250);
    slow.join();
}

#ifndef _WIN32
// A signal every 200 microseconds (with or without SA_RESTART) interrupts
// each wait; the reply's limit still holds, neither cut short nor renewed
// by the interruptions, and a reply in between is read whole.
TEST_F(ReadReply, SignalsNeitherEndNorExtendTheWait)
{
    for (const int flags : {0, SA_RESTART}) {
        struct sigaction counting {};
        counting.sa_handler = [](int) {};
        counting.sa_flags = flags;
        struct sigaction previous {};
        ASSERT_EQ(sigaction(SIGUSR1, &counting, &previous), 0);
        std::atomic<bool> stop{false};
        const pthread_t reader = pthread_self();
        std::thread signals([&] {
            const auto give_up = std::chrono::steady_clock::now() + 20s;  // so a fault cannot hang the suite
            while (!stop && std::chrono::steady_clock::now() < give_up) {
                pthread_kill(reader, SIGUSR1);
                std::this_thread::sleep_for(200us);
            }
        });
        serve("220-ready\r\n");
        std::thread server = serve_in_pieces({"2", "20 go\r\n"});
        EXPECT_EQ(connection_->read_reply(10s).code, 220) << flags;
        server.join();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(connection_->read_reply(300ms).status, Got::timed_out) << flags;
        const auto took = std::chrono::steady_clock::now() - start;
        stop = true;
        signals.join();
        sigaction(SIGUSR1, &previous, nullptr);
        EXPECT_GE(took, 300ms) << flags;
        EXPECT_LT(took, 5s) << flags;
    }
}
#endif

// A banner is refused at once, even before its line ends.
TEST_F(ReadReply, GarbageIsNotAReply)
{
    serve("banner without line end");
    EXPECT_EQ(connection_->read_reply(10s).status, Got::malformed);
}

// A reply that fills several receives of the reader's buffer is read whole.
TEST_F(ReadReply, ReadsRepliesLargerThanOneReceive)
{
    std::string reply;
    for (int i = 0; i < 20; ++i)
        reply += "250-" + std::string(100, 'x') + "\r\n";
    reply += "250 last\r\n";
    ASSERT_GT(reply.size(), 1024u);
    std::thread server([&] { serve(reply + "221 bye\r\n"); });
    EXPECT_EQ(connection_->read_reply(5s).code, 250);
    server.join();
    EXPECT_EQ(connection_->read_reply(5s).code, 221);
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
