// The multipart boundary: one that no line of the body can be taken for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lsmtp {

struct BoundaryChoice {
    std::string boundary;
    std::size_t bytes_examined = 0; // reads of the body's bytes, so tests can bound the work
};

// The fixed boundary, unless a line of the body as sent starts with "--"
// and it; then the first "<fixed>-<n>" (n = 1, 2, ...) that no line starts
// with after "--". A line that merely begins with a delimiter ends the part
// too (RFC 2046, section 5.1.1), so "--<fixed>-12" rules out "-1" as well as
// "-12". CR and LF both end a line. One pass over the body, whatever it
// holds: the text is the caller's and may be hostile.
BoundaryChoice choose_boundary_counted(std::string_view wire_body);

inline std::string choose_boundary(std::string_view wire_body)
{
    return choose_boundary_counted(wire_body).boundary;
}

} // namespace lsmtp
