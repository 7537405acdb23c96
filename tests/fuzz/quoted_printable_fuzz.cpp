// Quoted-printable body text: whatever the input, the encoding is 7-bit
// lines of at most 76 characters ending in CR LF, with no white space before
// a line end and only well-formed "=" escapes; decoding it gives back the
// input with every line end made CR LF. The long-line test that decides
// whether to encode at all must agree with the line lengths.
#include "encode/quoted_printable.h"
#include "pieces.h"

namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;  // RFC 2045 asks encoders for upper case
}

// Checks the form of every line and decodes the text.
std::string checked_decode(const std::string &encoded)
{
    std::string decoded;
    std::size_t start = 0;
    while (start < encoded.size()) {
        const std::size_t end = encoded.find("\r\n", start);
        const std::string_view line =
            std::string_view(encoded).substr(start, (end == std::string::npos ? encoded.size() : end) - start);
        LSMTP_FUZZ_CHECK(line.size() <= 76);
        LSMTP_FUZZ_CHECK(line.empty() || (line.back() != ' ' && line.back() != '\t'));
        bool soft_break = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            LSMTP_FUZZ_CHECK(c == '\t' || (c >= 32 && c < 127));
            if (c != '=') {
                decoded += static_cast<char>(c);
            } else if (i + 1 == line.size()) {
                soft_break = true;
            } else {
                LSMTP_FUZZ_CHECK(i + 2 < line.size());
                const int high = hex_value(line[i + 1]), low = hex_value(line[i + 2]);
                LSMTP_FUZZ_CHECK(high >= 0 && low >= 0);
                decoded += static_cast<char>(high * 16 + low);
                i += 2;
            }
        }
        if (end == std::string::npos)
            break;
        if (!soft_break)
            decoded += "\r\n";
        start = end + 2;
    }
    return decoded;
}

std::string with_crlf_line_ends(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            out += text[i];
            continue;
        }
        out += "\r\n";
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    return out;
}

std::size_t longest_line(std::string_view crlf_text)
{
    std::size_t longest = 0, start = 0;
    while (start <= crlf_text.size()) {
        std::size_t end = crlf_text.find("\r\n", start);
        end = end == std::string_view::npos ? crlf_text.size() : end;
        longest = std::max(longest, end - start);
        start = end + 2;
    }
    return longest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const std::string encoded = lsmtp::encode_quoted_printable(text);
    const std::string expected = with_crlf_line_ends(text);
    LSMTP_FUZZ_CHECK(checked_decode(encoded) == expected);
    LSMTP_FUZZ_CHECK(lsmtp::has_overlong_line(text) == (longest_line(expected) > lsmtp::max_text_line));
    return 0;
}
