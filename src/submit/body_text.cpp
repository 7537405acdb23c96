#include "submit/body_text.h"

#include "encode/charset.h"
#include "encode/quoted_printable.h"
#include "submit/header_block.h"

namespace lsmtp {
namespace {

bool some_line_starts_with(std::string_view text, std::string_view start)
{
    for (std::size_t at = 0; at < text.size();) {
        if (text.substr(at, start.size()) == start)
            return true;
        const std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos)
            return false;
        at = end + 1;
    }
    return false;
}

} // namespace

BodyText prepare_body(const char *body)
{
    BodyText part;
    part.original = body == nullptr ? std::string_view() : body;
    if (!is_ascii(part.original))
        part.charset = charset_of(part.original);
    part.quoted = !part.charset.empty() || has_overlong_line(part.original);
    if (part.quoted)
        part.encoded = encode_quoted_printable(part.original);
    return part;
}

std::string choose_boundary(std::string_view wire_body)
{
    const std::string fixed = message_boundary;
    if (!some_line_starts_with(wire_body, "--" + fixed))
        return fixed;
    for (unsigned suffix = 1;; ++suffix) {
        std::string candidate = fixed + "-" + std::to_string(suffix);
        if (wire_body.find(candidate) == std::string_view::npos)
            return candidate;
    }
}

} // namespace lsmtp
