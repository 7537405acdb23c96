// The text part as it goes on the wire.
#pragma once

#include <string>
#include <string_view>

namespace lsmtp {

// A quoted body is encoded on the way out, a piece at a time, never whole.
struct BodyText {
    std::string_view original; // the caller's text
    std::string_view charset;  // empty for ASCII text
    bool quoted = false;

    // CR LF, LF or CR last; the wire form then ends in CR LF too.
    bool ends_in_line_break() const
    {
        return !original.empty() && (original.back() == '\n' || original.back() == '\r');
    }
};

// ASCII text goes as written unless a line is too long for SMTP; non-ASCII
// text is labelled with its charset and always goes quoted-printable, so
// that every byte on the wire is 7-bit.
// `known_ascii` spares the look at each byte when the caller's text was
// found ASCII on entry already.
BodyText prepare_body(std::string_view body, bool known_ascii = false);

} // namespace lsmtp
