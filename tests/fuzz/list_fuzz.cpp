// Recipient and attachment lists, and the file name as a MIME parameter.
// The split must keep every byte but the delimiters, in order, in non-empty
// pieces that point into the caller's text; the attachment paths are those
// pieces trimmed; a parameter value is either the name itself, when it is a
// token, or a quoted string that gives the name back and cannot be ended
// early by a quote or escaped by a backslash.
#include "pieces.h"
#include "submit/message_parts.h"
#include "text/text.h"

#include <cstring>

namespace {

void check_split(std::string_view list)
{
    std::string kept;
    for (const std::string_view piece : lsmtp::split_address_list(list)) {
        LSMTP_FUZZ_CHECK(!piece.empty());
        LSMTP_FUZZ_CHECK(piece.data() >= list.data() && piece.data() + piece.size() <= list.data() + list.size());
        LSMTP_FUZZ_CHECK(piece.find_first_of(",;") == std::string_view::npos);
        kept += piece;
    }
    std::string expected;
    for (const char c : list) {
        if (c != ',' && c != ';')
            expected += c;
    }
    LSMTP_FUZZ_CHECK(kept == expected);
}

void check_attachment_paths(const std::string &list)
{
    if (list.find('\0') != std::string::npos)
        return;  // the caller's text ends at its first NUL
    const std::vector<std::string> paths = lsmtp::attachment_paths(list.c_str());
    const std::vector<std::string_view> pieces = lsmtp::split_address_list(list);
    LSMTP_FUZZ_CHECK(paths.size() == pieces.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::string trimmed(pieces[i]);
        LSMTP_FUZZ_CHECK(paths[i] == lsmtp::trim_both(trimmed));
        LSMTP_FUZZ_CHECK(paths[i].empty() || !lsmtp::is_white_space(paths[i].front()));
        LSMTP_FUZZ_CHECK(paths[i].empty() || !lsmtp::is_white_space(paths[i].back()));
    }
}

bool is_token(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 32 || byte >= 127 || std::strchr("()<>@,;:\\\"/[]?=", byte) != nullptr)
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
    check_split(text);
    check_attachment_paths(text);
    check_parameter(text);
    return 0;
}
