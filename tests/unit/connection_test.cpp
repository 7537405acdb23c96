// The connection of the dialogue: its writes to a peer that is gone or
// reads slowly.
#include "platform/socket.h"
#include "portable.h"
#include "sigpipe_counter.h"
#include "transport/connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

class Transport : public ::testing::Test {
protected:
    void SetUp() override
    {
        lsmtp::test::RawSocket ends[2];
        ASSERT_TRUE(lsmtp::test::socket_pair(ends));
        ASSERT_TRUE(lsmtp::test::socket_make_nonblocking(ends[0]));
        socket_ = lsmtp::platform::Socket{ends[0]};
        peer_ = ends[1];
    }
    void TearDown() override
    {
        if (peer_ >= 0)
            lsmtp::test::socket_close(peer_);
    }
    lsmtp::platform::Socket socket_;
    lsmtp::test::RawSocket peer_ = lsmtp::test::no_socket;
};

TEST_F(Transport, WritingToAClosedPeerFailsWithoutASignal)
{
#ifndef _WIN32
    lsmtp::test::SigpipeCounter sigpipe;
#endif
    lsmtp::test::socket_reset(peer_);
    peer_ = -1;
    lsmtp::Connection connection(std::move(socket_));
    EXPECT_FALSE(connection.command("HELO sorvane"));
#ifndef _WIN32
    EXPECT_EQ(sigpipe.raised, 0);
#endif
    // The system's word is kept, the first one: a later failure adds nothing.
    const lsmtp::platform::Failure first = connection.failure();
    EXPECT_TRUE(first) << first.text;
    EXPECT_FALSE(connection.command("QUIT"));
    EXPECT_EQ(connection.failure().text, first.text);
}

TEST_F(Transport, WritesLargerThanTheSocketBufferArriveWhole)
{
    const std::string block(4 << 20, 'b');
    std::string received;
    std::thread reader([&] {
        char chunk[65536];
        while (received.size() < block.size()) {
            const long got = lsmtp::test::socket_read(peer_, chunk, sizeof chunk);
            if (got <= 0)
                break;
            received.append(chunk, static_cast<std::size_t>(got));
        }
    });
    lsmtp::Connection connection(std::move(socket_));
    EXPECT_TRUE(connection.send_bytes(block.data(), block.size()));
    reader.join();
    EXPECT_TRUE(received == block);
}

// A peer that takes no data cannot hold a write past its stall limit.
TEST_F(Transport, AStalledPeerEndsTheWrite)
{
    const std::string block(16 << 20, 's');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lsmtp::platform::send_all(socket_, block.data(), block.size(), std::chrono::milliseconds(200)).code,
              lsmtp::platform::timed_out().code);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace
