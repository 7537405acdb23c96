// The shared string helpers, where a slip would go unnoticed elsewhere.
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using lsmtp::find_line_break;
using lsmtp::path_base_name;
using lsmtp::split_address_list;
using Pieces = std::vector<std::string_view>;

namespace {

// Pieces are trimmed of the six ASCII white space characters only (bytes
// above 0x7f are letters of some encoding, and a NUL is no white space);
// empty pieces are skipped; a separator inside a quoted string or angle
// brackets is part of the piece, while the plain list of attachments knows
// no quotes.
TEST(SplitAddressList, SeparatesTrimsAndKeepsQuotedSeparators)
{
    using namespace std::string_view_literals;
    const std::string white = " \t\n\v\f\r", trimmed = white + "a b" + white;
    const struct {
        std::string_view text;
        Pieces pieces;
    } rows[] = {
        {trimmed, {"a b"}},
        {"\xa0x\xa0", {"\xa0x\xa0"}},
        {"\x85x\x85", {"\x85x\x85"}},
        {"\xffx\xff", {"\xffx\xff"}},
        {"\x80x\x80", {"\x80x\x80"}},
        {"\0x\0"sv, {"\0x\0"sv}},
        {"a@x,b@x;c@x", {"a@x", "b@x", "c@x"}},
        {"a@x, b@x", {"a@x", "b@x"}},
        {"\ta@x\v;\fb@x\r\n", {"a@x", "b@x"}},
        {"a@x\r\nb@x", {"a@x\r\nb@x"}},
        {"Ann Lee <a@x>", {"Ann Lee <a@x>"}},
        {";;a@x;;b@x,,", {"a@x", "b@x"}},
        {"a@x, ", {"a@x"}},
        {" \r\n", {}},
        {",;,", {}},
        {"", {}},
        {"a@x,a@x", {"a@x", "a@x"}},
        {"\"Doe, Jane\" <jane@x>, b@x", {"\"Doe, Jane\" <jane@x>", "b@x"}},
        {"\"a\\\", b\" <a@x>;c@x", {"\"a\\\", b\" <a@x>", "c@x"}},
        {"<a,b@x>;c@x", {"<a,b@x>", "c@x"}},
        {"\"open, a@x", {"\"open, a@x"}},
        {"undisclosed-recipients:;", {"undisclosed-recipients:"}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(split_address_list(row.text), row.pieces) << row.text;
    EXPECT_EQ(lsmtp::split_plain_list("\"a,b\".txt"), (Pieces{"\"a", "b\".txt"}));
}

// "\\" separates folders on Windows alone: elsewhere it is a character of
// the file's name.
// A name or IPv4 address with a port, or a bracketed IPv6 one; an IPv6
// address alone has colons but no port.
TEST(HostHasPort, OnlyDigitsAfterTheHostsOneColon)
{
    for (std::string_view host : {"127.0.0.2:587", "mail.example.org:25", "[::1]:25", "[2001:db8::1]:587"})
        EXPECT_TRUE(lsmtp::host_has_port(host)) << host;
    for (std::string_view host : {"mail.example.org", "::1", "[::1]", "2001:db8::25", "fe80::1:25", "host:", ":25",
                                  "host:25a", "[::1]:", "[::1]25", "[::1:25", ""})
        EXPECT_FALSE(lsmtp::host_has_port(host)) << host;
}

TEST(PathBaseName, TakesThePartAfterTheLastSeparator)
{
#ifdef _WIN32
    EXPECT_EQ(path_base_name("C:\\mail\\report.pdf"), "report.pdf");
    EXPECT_EQ(path_base_name("a/b\\c.txt"), "c.txt");
    EXPECT_EQ(path_base_name("folder\\"), "");
#else
    EXPECT_EQ(path_base_name("2024\\budget.txt"), "2024\\budget.txt");
    EXPECT_EQ(path_base_name("a/b\\c.txt"), "b\\c.txt");
#endif
    EXPECT_EQ(path_base_name("/var/mail/report.pdf"), "report.pdf");
    EXPECT_EQ(path_base_name("a\\b/c.txt"), "c.txt");
    EXPECT_EQ(path_base_name("plain.txt"), "plain.txt");
    EXPECT_EQ(path_base_name("folder/"), "");
    EXPECT_EQ(path_base_name(""), "");
    const std::string_view path = "dir/name";
    EXPECT_EQ(path_base_name(path).data(), path.data() + 4);  // points into the path
}

// The first CR or LF, whichever comes first, from the given position on.
TEST(FindLineBreak, FirstCarriageReturnOrLineFeed)
{
    constexpr std::size_t none = std::string_view::npos;
    const struct {
        std::string_view text;
        std::size_t from;
        std::size_t found;
    } cases[] = {
        {"", 0, none},         {"plain", 0, none},  {"a\r\nb", 0, 1},   {"a\nb\r", 0, 1},
        {"ab\rc\n", 0, 2},     {"a\r\nb", 1, 1},    {"a\r\nb", 2, 2},   {"a\r\nb", 3, none},
        {"a\nb\rc", 2, 3},     {"\n", 0, 0},        {"x\n", 5, none},   {"line\n\rnext", 5, 5},
    };
    for (const auto &c : cases)
        EXPECT_EQ(find_line_break(c.text, c.from), c.found) << c.text << " from " << c.from;
}

} // namespace
