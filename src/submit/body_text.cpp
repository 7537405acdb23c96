#include "submit/body_text.h"

#include "encode/charset.h"
#include "encode/quoted_printable.h"

namespace lsmtp {

BodyText prepare_body(std::string_view body, bool known_ascii)
{
    BodyText part;
    part.original = body;
    if (!known_ascii && !is_ascii(part.original))
        part.charset = charset_of(part.original);
    part.quoted = !part.charset.empty() || has_overlong_line(part.original);
    return part;
}

} // namespace lsmtp
