// Base64 content-transfer-encoding (RFC 2045, 6.8): lines of 76
// characters, the last one shorter, every line followed by CR LF, "="
// padding, nothing else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lsmtp {

// Writes the four characters of one group into `out`. `pad_count` is the
// number of bytes missing from the group (0, 1 or 2) and of "=" written in
// place of the last characters; missing bytes are passed as 0.
void encode_group(unsigned char first, unsigned char second, unsigned char third, int pad_count, char *out);

// Base64 of a short text on one line, without line breaks (for header
// words and parameters).
std::string encode_base64(std::string_view bytes);

// A full line's bytes: 19 groups, 76 characters.
inline constexpr std::size_t base64_line_bytes = 57;

// Room enough for what encode_base64_lines writes for `length` bytes.
constexpr std::size_t base64_lines_size(std::size_t length)
{
    return (length + base64_line_bytes - 1) / base64_line_bytes * 78;
}

// Encodes `length` bytes as lines of 76 characters, the last one shorter,
// each followed by CR LF, the last group "=" padded; returns the characters
// written to `out` (at most base64_lines_size(length)). No I/O and no
// pause: the caller reads and paces.
std::size_t encode_base64_lines(const unsigned char *bytes, std::size_t length, char *out);

} // namespace lsmtp
