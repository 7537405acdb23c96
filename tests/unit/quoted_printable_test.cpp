#include "encode/quoted_printable.h"

#include <gtest/gtest.h>

#include <random>

using lsmtp::encode_quoted_printable;
using lsmtp::has_overlong_line;

namespace {

// Decodes quoted-printable text back to bytes with CR LF line ends.
std::string decode(const std::string &encoded)
{
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '=') {
            out += encoded[i];
        } else if (encoded.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else {
            out += static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

} // namespace

TEST(QuotedPrintable, FindsOverlongLinesWhateverTheLineEnd)
{
    const std::string limit(998, 'x');
    EXPECT_FALSE(has_overlong_line(limit + "\r\n" + limit + "\n" + limit + "\r" + limit));
    EXPECT_TRUE(has_overlong_line("a\r\n" + limit + "y"));
    EXPECT_TRUE(has_overlong_line(limit + "x\n"));
}

TEST(QuotedPrintable, EscapesWhatTransportWouldChange)
{
    EXPECT_EQ(encode_quoted_printable("a=b"), "a=3Db");
    EXPECT_EQ(encode_quoted_printable("trailing \r\ntab\t"), "trailing=20\r\ntab=09");
    EXPECT_EQ(encode_quoted_printable("one\ntwo\rthree\r\n"), "one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(encode_quoted_printable("\xC3\xA9\x7F"), "=C3=A9=7F");
}

TEST(QuotedPrintable, RandomTextRoundTripsInShortLines)
{
    std::mt19937 random(7);
    const std::string alphabet = "ab =.\t\xE9\r\n";
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 3000);
        for (int i = 0; i < length; ++i)
            text += random() % 50 == 0 ? alphabet[random() % alphabet.size()] : static_cast<char>('a' + random() % 26);
        const std::string encoded = encode_quoted_printable(text);
        std::string canonical; // the text with every line end made CR LF
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                continue;
            canonical += text[i] == '\r' || text[i] == '\n' ? std::string("\r\n") : std::string(1, text[i]);
        }
        EXPECT_EQ(decode(encoded), canonical);
        std::size_t start = 0;
        for (std::size_t end; (end = encoded.find("\r\n", start)) != std::string::npos; start = end + 2)
            ASSERT_LE(end - start, 76u);
        ASSERT_LE(encoded.size() - start, 76u);
        // A piece at a time, each but the last ending with a line: the same text.
        const std::size_t budget = 1 + random() % 200;
        std::string pieces;
        for (std::size_t at = 0, end = 0; at < text.size(); end = pieces.size()) {
            at = lsmtp::encode_quoted_printable_piece(text, at, pieces, end + budget);
            ASSERT_TRUE(at == text.size() || (pieces.size() >= end + budget && pieces.ends_with("\r\n")));
        }
        EXPECT_EQ(pieces, encoded) << budget;
    }
}
