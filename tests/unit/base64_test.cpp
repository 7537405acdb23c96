// The base64 file encoder: exact output, line layout, pauses and failures.
#include "encode/base64.h"
#include "submit/encoded_copy.h"
#include "platform/seams.h"
#include "portable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#endif

namespace fs = std::filesystem;
using lsmtp::Base64Result;
using lsmtp::platform::File;

namespace {

// RFC 2045 base64 done the slow, obvious way: six bits at a time from a
// string of bits, then cut into lines. Shares nothing with the encoder.
std::string reference_base64(const std::string &bytes)
{
    std::string bits;
    for (unsigned char byte : bytes)
        for (int bit = 7; bit >= 0; --bit)
            bits += (byte >> bit) & 1 ? '1' : '0';
    while (bits.size() % 6 != 0)
        bits += '0';
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bits.size(); i += 6)
        text += alphabet[std::stoi(bits.substr(i, 6), nullptr, 2)];
    while (text.size() % 4 != 0)
        text += '=';
    std::string lines;
    for (std::size_t i = 0; i < text.size(); i += 76)
        lines += text.substr(i, 76) + "\r\n";
    return lines;
}

// A problem with the line layout, or empty text when there is none: lines
// of 76 characters from the alphabet and "=", a shorter non-empty last one,
// every line ended by exactly CR LF.
std::string layout_fault(const std::string &text)
{
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            return "text after the last CR LF";
        const std::string line = text.substr(start, end - start);
        if (line.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") !=
            std::string::npos)
            return "stray character in line at " + std::to_string(start);
        const bool last = end + 2 == text.size();
        if (line.empty() || line.size() > 76 || (!last && line.size() != 76))
            return "line of " + std::to_string(line.size()) + " characters at " + std::to_string(start);
        start = end + 2;
    }
    return "";
}

struct Outcome {
    Base64Result result = Base64Result::ok;
    std::string text;
    // Bytes already in the destination at each pause, in order.
    std::vector<std::size_t> written_at_pauses;
};

// A pause out of place, or empty text: the k-th pause must come before any
// line after the (100 k)-th reaches the destination.
std::string pause_fault(const Outcome &outcome)
{
    for (std::size_t k = 1; k <= outcome.written_at_pauses.size(); ++k)
        if (outcome.written_at_pauses[k - 1] > k * 7800)
            return "pause " + std::to_string(k) + " after " + std::to_string(outcome.written_at_pauses[k - 1]) +
                   " bytes were written";
    return "";
}

std::string random_bytes(std::size_t length, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(length, '\0');
    for (char &c : bytes)
        c = static_cast<char>(byte(generator));
    return bytes;
}

class Base64Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = lsmtp::test::make_scratch_folder("lsmtp-base64-");
        ASSERT_FALSE(folder_.empty());
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Encodes `source` into a fresh file and reads the result back.
    Outcome encode_from(File &source)
    {
        const std::string path = (folder_ / ("out" + std::to_string(++files_))).string();
        File destination(lsmtp::test::create_for_writing(path));
        EXPECT_TRUE(destination.valid());
        Outcome outcome;
        lsmtp::platform::Seams seams;
        seams.pause = [&](int milliseconds) {
            EXPECT_EQ(milliseconds, 1);
            outcome.written_at_pauses.push_back(static_cast<std::size_t>(fs::file_size(path)));
        };
        {
            lsmtp::platform::ScopedSeams installed(std::move(seams));
            outcome.result = lsmtp::encode_file_base64(source, destination).result;
        }
        EXPECT_FALSE(destination.close());
        std::ifstream in(path, std::ios::binary);
        outcome.text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return outcome;
    }

    Outcome encode(const std::string &bytes)
    {
        const std::string path = (folder_ / ("in" + std::to_string(++files_))).string();
        std::ofstream(path, std::ios::binary) << bytes;
        File source = lsmtp::platform::open_for_reading(path).file;
        EXPECT_TRUE(source.valid());
        return encode_from(source);
    }

    fs::path folder_;
    int files_ = 0;
};

} // namespace

TEST(Base64Group, WritesFourCharactersForEveryPadCount)
{
    char out[5] = "....";
    lsmtp::encode_group(0xFF, 0xFE, 0x80, 0, out);
    EXPECT_STREQ(out, "//6A");
    lsmtp::encode_group('a', 'b', 0, 1, out);
    EXPECT_STREQ(out, "YWI=");
    lsmtp::encode_group('a', 0, 0, 2, out);
    EXPECT_STREQ(out, "YQ==");
    lsmtp::encode_group(0, 0, 0, 0, out);
    EXPECT_STREQ(out, "AAAA");
}

TEST_F(Base64Files, EncodesTheSmallCasesExactly)
{
    struct Case {
        std::string source;
        std::string expected;
    };
    const Case cases[] = {
        {"", ""},
        {"a", "YQ==\r\n"},
        {"ab", "YWI=\r\n"},
        {"abc", "YWJj\r\n"},
        {"abcd", "YWJjZA==\r\n"},
        {"\xFF\xFE\x80", "//6A\r\n"},
        {"\xFF", "/w==\r\n"}, // 255 is data, not the end of the source
        {std::string("\0\0", 2), "AAA=\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        const Outcome outcome = encode(c.source);
        EXPECT_EQ(outcome.result, Base64Result::ok);
        EXPECT_EQ(outcome.text, c.expected);
        EXPECT_TRUE(outcome.written_at_pauses.empty());
    }
}

TEST_F(Base64Files, FillsALineWithNineteenGroups)
{
    // 55, 56 and 57 bytes all end on one 76-character line.
    const char *const endings[] = {"==", "=", ""};
    for (std::size_t length = 55; length <= 57; ++length) {
        SCOPED_TRACE(length);
        const std::string source = random_bytes(length, static_cast<unsigned>(length));
        const Outcome outcome = encode(source);
        ASSERT_EQ(outcome.text.size(), 78u);
        EXPECT_EQ(outcome.text, reference_base64(source));
        const std::string line = outcome.text.substr(0, 76);
        const std::string ending = endings[length - 55];
        EXPECT_EQ(line.size() - line.find_last_not_of('=') - 1, ending.size()) << line;
    }
    const std::string source = random_bytes(58, 58);
    const Outcome outcome = encode(source);
    ASSERT_EQ(outcome.text.size(), 84u);
    EXPECT_EQ(outcome.text, reference_base64(source));
    EXPECT_EQ(outcome.text.substr(76, 2), "\r\n");
    EXPECT_EQ(outcome.text.substr(80), "==\r\n");
}

TEST_F(Base64Files, MatchesTheReferenceForEveryShortLength)
{
    for (std::size_t length = 0; length <= 400; ++length) {
        SCOPED_TRACE(length);
        const std::string source = random_bytes(length, static_cast<unsigned>(1000 + length));
        const Outcome outcome = encode(source);
        ASSERT_EQ(outcome.result, Base64Result::ok);
        ASSERT_EQ(outcome.text, reference_base64(source));
        ASSERT_EQ(layout_fault(outcome.text), "");
    }
}

TEST_F(Base64Files, PausesAfterEveryHundredthFullLine)
{
    Outcome outcome = encode(random_bytes(5700, 1));
    EXPECT_EQ(outcome.text.size(), 7800u); // 100 full lines
    EXPECT_EQ(outcome.written_at_pauses.size(), 1u);
    EXPECT_EQ(pause_fault(outcome), "");

    // 199 full lines and a line of 4: the shorter line does not count.
    const std::string source = random_bytes(11344, 2);
    outcome = encode(source);
    EXPECT_EQ(outcome.text, reference_base64(source));
    EXPECT_EQ(outcome.text.size(), 199u * 78 + 6);
    EXPECT_EQ(outcome.written_at_pauses.size(), 1u);
    EXPECT_EQ(pause_fault(outcome), "");

    outcome = encode(random_bytes(11400, 3));
    EXPECT_EQ(outcome.written_at_pauses.size(), 2u);
    EXPECT_EQ(pause_fault(outcome), "");
}

TEST_F(Base64Files, LargeSourcesMatchAroundEveryHundredLines)
{
    // Around each multiple of 100 lines, wherever the encoder's blocks end.
    for (std::size_t hundreds = 1; hundreds <= 9; ++hundreds) {
        for (std::size_t length : {hundreds * 5700 - 1, hundreds * 5700, hundreds * 5700 + 1}) {
            SCOPED_TRACE(length);
            const std::string source = random_bytes(length, static_cast<unsigned>(length));
            const Outcome outcome = encode(source);
            ASSERT_EQ(outcome.result, Base64Result::ok);
            ASSERT_EQ(outcome.text, reference_base64(source));
            EXPECT_EQ(outcome.written_at_pauses.size(), length / 5700);
            EXPECT_EQ(pause_fault(outcome), "");
        }
    }
}

TEST_F(Base64Files, ShortReadsDoNotChangeTheOutput)
{
    // A pipe hands the bytes over in the small pieces they were written in.
    std::intptr_t ends[2];
    ASSERT_TRUE(lsmtp::test::file_pipe(ends));
    File reader(static_cast<File::Native>(ends[0]));
    const std::string source = random_bytes(6000, 7);
    std::thread writer([&source, fd = ends[1]] {
        File out(static_cast<File::Native>(fd));
        std::size_t piece = 1;
        for (std::size_t at = 0; at < source.size(); at += piece, piece = piece % 7 + 1)
            out.write(source.data() + at, std::min(piece, source.size() - at));
    });
    const Outcome outcome = encode_from(reader);
    writer.join();
    EXPECT_EQ(outcome.result, Base64Result::ok);
    EXPECT_EQ(outcome.text, reference_base64(source));
    EXPECT_EQ(outcome.written_at_pauses.size(), 1u);
}

TEST_F(Base64Files, ReportsWhichSideFailed)
{
    // A file open only for writing fails at the first read: nothing is
    // written.
    File folder(lsmtp::test::create_for_writing((folder_ / "write-only").string()));
    ASSERT_TRUE(folder.valid());
    const Outcome outcome = encode_from(folder);
    EXPECT_EQ(outcome.result, Base64Result::read_failed);
    EXPECT_EQ(outcome.text, "");

    const std::string path = (folder_ / "source").string();
    std::ofstream(path, std::ios::binary) << "abc";
    File source = lsmtp::platform::open_for_reading(path).file;
#ifdef _WIN32
    // Windows has no device that is always full; a file open only for
    // reading refuses every write.
    File full = lsmtp::platform::open_for_reading(path).file;
#else
    File full(static_cast<File::Native>(::open("/dev/full", O_WRONLY | O_CLOEXEC)));
#endif
    ASSERT_TRUE(full.valid());
    const lsmtp::Base64Encoding refused = lsmtp::encode_file_base64(source, full);
    EXPECT_EQ(refused.result, Base64Result::write_failed);
    EXPECT_TRUE(refused.failure);
}
