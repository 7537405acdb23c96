// The shared string helpers, where a slip would go unnoticed elsewhere.
#include "text/address_tokens.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using lsmtp::find_line_break;
using lsmtp::Parentheses;
using lsmtp::path_base_name;
using lsmtp::split_address_list;
using Pieces = std::vector<std::string_view>;

namespace {

// Pieces are trimmed of the six ASCII white space characters only: bytes
// above 0x7f are letters of some encoding, and a NUL is no white space.
TEST(SplitAddressList, TrimsTheSixWhiteSpaceCharactersOnly)
{
    const std::string white = " \t\n\v\f\r";
    EXPECT_EQ(split_address_list(white + "a b" + white), (Pieces{"a b"}));
    for (const std::string &edge : std::vector<std::string>{"\xa0", "\x85", "\xff", "\x80", std::string(1, '\0')}) {
        const std::string text = edge + "x" + edge;
        EXPECT_EQ(split_address_list(text), (Pieces{text})) << static_cast<int>(edge[0]);
    }
}

// "\\" separates folders on Windows alone: elsewhere it is a character of
// the file's name.
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

// A separator inside a quoted string or angle brackets is part of the
// piece; the plain list of attachments knows no quotes.
TEST(SplitAddressList, QuotesAndBracketsHoldSeparators)
{
    EXPECT_EQ(split_address_list("\"Doe, Jane\" <jane@x>, b@x"), (Pieces{"\"Doe, Jane\" <jane@x>", "b@x"}));
    EXPECT_EQ(split_address_list("\"a\\\", b\" <a@x>;c@x"), (Pieces{"\"a\\\", b\" <a@x>", "c@x"}));
    EXPECT_EQ(split_address_list("<a,b@x>;c@x"), (Pieces{"<a,b@x>", "c@x"}));
    EXPECT_EQ(split_address_list("\"open, a@x"), (Pieces{"\"open, a@x"}));
    EXPECT_EQ(split_address_list("undisclosed-recipients:;"), (Pieces{"undisclosed-recipients:"}));
    EXPECT_EQ(lsmtp::split_plain_list("\"a,b\".txt"), (Pieces{"\"a", "b\".txt"}));
}

TEST(SplitAddressList, TrimsPiecesAndSkipsEmptyOnes)
{
    EXPECT_EQ(split_address_list("a@x,b@x;c@x"), (Pieces{"a@x", "b@x", "c@x"}));
    EXPECT_EQ(split_address_list("a@x, b@x"), (Pieces{"a@x", "b@x"}));
    EXPECT_EQ(split_address_list("\ta@x\v;\fb@x\r\n"), (Pieces{"a@x", "b@x"}));
    EXPECT_EQ(split_address_list("a@x\r\nb@x"), (Pieces{"a@x\r\nb@x"}));
    EXPECT_EQ(split_address_list("Ann Lee <a@x>"), (Pieces{"Ann Lee <a@x>"}));
    EXPECT_EQ(split_address_list(";;a@x;;b@x,,"), (Pieces{"a@x", "b@x"}));
    EXPECT_EQ(split_address_list("a@x, "), (Pieces{"a@x"}));
    EXPECT_EQ(split_address_list(" \r\n"), Pieces{});
    EXPECT_EQ(split_address_list(",;,"), Pieces{});
    EXPECT_EQ(split_address_list(""), Pieces{});
    EXPECT_EQ(split_address_list("a@x,a@x"), (Pieces{"a@x", "a@x"}));
}

// The lexer under the list splitter, the envelope reader and the header
// encoder. Each row: the text, what "(" opens, the tokens' kinds (with "!"
// after one the text ends inside) and the tokens' texts between "|".
TEST(AddressTokens, QuotesEscapesCommentsBracketsAndGroups)
{
    constexpr Parentheses text = Parentheses::text, comments = Parentheses::comments;
    const struct {
        std::string_view text;
        Parentheses parentheses;
        std::string_view kinds, tokens;
    } rows[] = {
        {"", text, "", ""},
        {"Ann \"D, J\" <a@x>, b@x; c", text, "t\"t<t>,t,t", "Ann |\"D, J\"| |<|a@x|>|,| b@x|;| c"},
        {"\"a\\\"b\\\\\" x", text, "\"t", "\"a\\\"b\\\\\"| x"},
        {"a\\\"b\"", text, "t\"", "a\\|\"b\""},
        {"\"a, <b", text, "\"!", "\"a, <b"},
        {"\"a\\", text, "\"!", "\"a\\"},
        {"(a, b) <c>", text, "t,t<t>", "(a|,| b) |<|c|>"},
        {"x (a (b\\)) \"c\") y", comments, "t(t", "x |(a (b\\)) \"c\")| y"},
        {"\"(\" (\")", comments, "\"t(", "\"(\"| |(\")"},
        {"a) (b (c)", comments, "t(!", "a) |(b (c)"},
        {"g: <@r:a@x>, b@[1:2];", text, "t:t<t:t>,t[t:t],", "g|:| |<|@r|:|a@x|>|,| b@|[|1|:|2|]|;"},
    };
    for (const auto &row : rows) {
        std::string kinds, tokens;
        for (const lsmtp::AddressToken &token : lsmtp::address_tokens(row.text, row.parentheses)) {
            kinds += static_cast<char>(token.kind);
            kinds += token.closed ? "" : "!";
            tokens += (tokens.empty() ? "" : "|") + std::string(row.text.substr(token.begin, token.end - token.begin));
        }
        EXPECT_EQ(kinds, row.kinds) << row.text;
        EXPECT_EQ(tokens, row.tokens) << row.text;
    }
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
