#include "text/text.h"

#include "text/address_tokens.h"

#include <algorithm>

namespace lsmtp {

std::string_view path_base_name(std::string_view path)
{
    const std::size_t separator = path.find_last_of(folder_separators);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

bool host_has_port(std::string_view host)
{
    std::size_t colon = host.find(':');
    if (host.starts_with('[')) {
        const std::size_t bracket = host.find(']');
        colon = bracket == std::string_view::npos || bracket + 1 == host.size() || host[bracket + 1] != ':'
                    ? std::string_view::npos
                    : bracket + 1;
    }
    if (colon == 0 || colon == std::string_view::npos || colon + 1 == host.size())
        return false;
    const std::string_view port = host.substr(colon + 1);
    return std::all_of(port.begin(), port.end(), is_digit);
}

std::size_t find_line_break(std::string_view text, std::size_t from)
{
    if (from >= text.size())
        return std::string_view::npos;
    const std::string_view rest = text.substr(from);
    const std::size_t line_feed = rest.find('\n');
    const std::size_t carriage_return = rest.substr(0, line_feed).find('\r');
    const std::size_t found = carriage_return != std::string_view::npos ? carriage_return : line_feed;
    return found == std::string_view::npos ? found : from + found;
}

namespace {

void add_trimmed(std::vector<std::string_view> &pieces, std::string_view piece)
{
    while (!piece.empty() && is_white_space(piece.front()))
        piece.remove_prefix(1);
    while (!piece.empty() && is_white_space(piece.back()))
        piece.remove_suffix(1);
    if (!piece.empty())
        pieces.push_back(piece);
}

} // namespace

std::vector<std::string_view> split_plain_list(std::string_view list)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find_first_of(",;", start);
        if (end == std::string_view::npos)
            end = list.size();
        add_trimmed(pieces, list.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::vector<std::string_view> split_address_list(std::string_view list)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    bool bracketed = false;
    for (std::size_t at = 0; at < list.size();) {
        const AddressToken token = address_token_at(list, at, Parentheses::text);
        at = token.end;
        if (token.kind == TokenKind::open_angle || token.kind == TokenKind::close_angle) {
            bracketed = token.kind == TokenKind::open_angle;
        } else if (token.kind == TokenKind::separator && !bracketed) {
            add_trimmed(pieces, list.substr(start, token.begin - start));
            start = token.end;
        }
    }
    add_trimmed(pieces, list.substr(start));
    return pieces;
}

void append_hex_escape(std::string &out, char escape, unsigned char byte)
{
    out += escape;
    out += hex_digits[byte >> 4];
    out += hex_digits[byte & 0x0F];
}

} // namespace lsmtp
