#include "text/address_tokens.h"

namespace lsmtp {
namespace {

// The end of the quoted string or comment that opens at `at`: just after
// its closing character, or npos when the text ends first.
std::size_t enclosed_end(std::string_view text, std::size_t at)
{
    const char close = text[at] == '"' ? '"' : ')';
    int depth = 1;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == close && --depth == 0)
            return i + 1;
        else if (text[i] == '(' && close == ')')
            ++depth;
    }
    return std::string_view::npos;
}

// A kind's value is the character that starts its tokens, but for text
// and ";" (a separator, as "," is).
TokenKind kind_of(char c, Parentheses parentheses)
{
    switch (c) {
    case ';':
        return TokenKind::separator;
    case '(':
        return parentheses == Parentheses::comments ? TokenKind::comment : TokenKind::text;
    case '"':
    case '<':
    case '>':
    case '[':
    case ']':
    case ':':
    case ',':
        return static_cast<TokenKind>(c);
    default:
        return TokenKind::text;
    }
}

} // namespace

AddressToken address_token_at(std::string_view text, std::size_t at, Parentheses parentheses)
{
    const TokenKind kind = kind_of(text[at], parentheses);
    std::size_t end = at + 1;
    if (kind == TokenKind::quoted || kind == TokenKind::comment)
        end = enclosed_end(text, at);
    else if (kind == TokenKind::text)
        while (end < text.size() && kind_of(text[end], parentheses) == TokenKind::text)
            ++end;
    const bool closed = end != std::string_view::npos;
    return {kind, at, closed ? end : text.size(), closed};
}

std::vector<AddressToken> address_tokens(std::string_view text, Parentheses parentheses)
{
    std::vector<AddressToken> tokens;
    for (std::size_t at = 0; at < text.size(); at = tokens.back().end)
        tokens.push_back(address_token_at(text, at, parentheses));
    return tokens;
}

} // namespace lsmtp
