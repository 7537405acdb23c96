// The lexer of address syntax.
#include "text/address_tokens.h"

#include <gtest/gtest.h>

#include <string>

using lsmtp::Parentheses;

namespace {

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
            tokens.append(tokens.empty() ? "" : "|").append(row.text.substr(token.begin, token.end - token.begin));
        }
        EXPECT_EQ(kinds, row.kinds) << row.text;
        EXPECT_EQ(tokens, row.tokens) << row.text;
    }
}

} // namespace
