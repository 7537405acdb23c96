// Recipient and attachment lists, and the file name as a MIME parameter.
// The split must give the caller's text back as trimmed, non-empty pieces
// with nothing but delimiters and white space left out; a parameter value
// is either the name itself, when it is a token, or a quoted string that
// gives the name back and cannot be ended early by a quote or escaped by a
// backslash.
#include "pieces.h"
#include "encode/mime_parameter.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace {

bool is_delimiter(char c) { return c == ',' || c == ';'; }

// The pieces come in order, each trimmed (and, in a plain list, free of
// delimiters; an address list keeps those inside quotes and brackets), and
// what lies between them (and before the first and after the last) is only
// white space and delimiters, with at least one delimiter between two
// pieces.
void check_split(std::string_view list, bool plain)
{
    const std::vector<std::string_view> pieces =
        plain ? lsmtp::split_plain_list(list) : lsmtp::split_address_list(list);
    std::size_t gap_start = 0;
    for (std::size_t i = 0; i <= pieces.size(); ++i) {
        const std::size_t gap_end = i < pieces.size() ? pieces[i].data() - list.data() : list.size();
        LSMTP_FUZZ_CHECK(gap_start <= gap_end && gap_end <= list.size());
        bool delimited = false;
        for (const char c : list.substr(gap_start, gap_end - gap_start)) {
            LSMTP_FUZZ_CHECK(is_delimiter(c) || lsmtp::is_white_space(c));
            delimited = delimited || is_delimiter(c);
        }
        LSMTP_FUZZ_CHECK(delimited || i == 0 || i == pieces.size());
        if (i == pieces.size())
            break;
        const std::string_view piece = pieces[i];
        LSMTP_FUZZ_CHECK(!piece.empty() && gap_end + piece.size() <= list.size());
        LSMTP_FUZZ_CHECK(!lsmtp::is_white_space(piece.front()) && !lsmtp::is_white_space(piece.back()));
        LSMTP_FUZZ_CHECK(!plain || piece.find_first_of(",;") == std::string_view::npos);
        gap_start = gap_end + piece.size();
    }
}

// A MIME token less "'", which some readers take for the start of an
// RFC 2231 charset'language'value: such a name goes out quoted.
bool is_token(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 32 || byte >= 127 || std::strchr("()<>@,;:\\\"/[]?='", byte) != nullptr)
            return false;
    }
    return !text.empty();
}

void check_parameter(std::string_view name)
{
    const std::string value = lsmtp::mime_parameter_value(name);
    if (is_token(name)) {
        LSMTP_FUZZ_CHECK(value == name);
        return;
    }
    LSMTP_FUZZ_CHECK(value.size() >= 2 && value.front() == '"' && value.back() == '"');
    std::string unquoted;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        LSMTP_FUZZ_CHECK(value[i] != '"');
        if (value[i] == '\\') {
            ++i;
            LSMTP_FUZZ_CHECK(i + 1 < value.size());
        }
        unquoted += value[i];
    }
    LSMTP_FUZZ_CHECK(unquoted == name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    check_split(text, true);
    check_split(text, false);
    check_parameter(text);
    return 0;
}
