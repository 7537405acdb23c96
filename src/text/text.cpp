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

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && is_white_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_white_space(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split_plain_list(std::string_view list)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find_first_of(",;", start);
        if (end == std::string_view::npos)
            end = list.size();
        if (const std::string_view piece = trimmed(list.substr(start, end - start)); !piece.empty())
            pieces.push_back(piece);
        start = end + 1;
    }
    return pieces;
}

std::vector<std::string_view> split_address_list(std::string_view list)
{
    std::vector<std::string_view> pieces;
    for_each_address_piece(list, [&pieces](std::string_view piece) {
        pieces.push_back(piece);
        return true;
    });
    return pieces;
}

void append_hex_escape(std::string &out, char escape, unsigned char byte)
{
    out += escape;
    out += hex_digits[byte >> 4];
    out += hex_digits[byte & 0x0F];
}

} // namespace lsmtp
