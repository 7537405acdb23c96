// Header values meet the caller's text. Whatever a header line is built
// from, what is accepted must be lines that end in CR LF, hold no bare CR
// or LF, no blank or white-space-only line and no line over 998 octets,
// start with the label, continue only with folds, and are 7-bit but for
// the addresses themselves; a value whose line breaks are not folds onto
// text is refused. No control character but tab goes out, and a line with
// an encoded-word of ours stays within 76. The attachment name parameters
// keep to the same rules.
#include "encode/charset.h"
#include "encode/header_text.h"
#include "encode/mime_parameter.h"
#include "pieces.h"

#include <array>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits on CR LF, checking there is no other CR or LF.
std::vector<std::string_view> checked_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        LSMTP_FUZZ_CHECK(end != std::string_view::npos);
        lines.push_back(text.substr(start, end - start));
        LSMTP_FUZZ_CHECK(lines.back().find_first_of("\r\n") == std::string_view::npos);
        start = end + 2;
    }
    return lines;
}

// An address may stay 8-bit: inside angle brackets, or a word with an "@".
// Anything else with 8-bit bytes should have become encoded-words.
void check_8bit_only_in_addresses(std::string_view line)
{
    bool in_angle = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        in_angle = (in_angle || line[i] == '<') && line[i] != '>';
        if (in_angle || static_cast<unsigned char>(line[i]) < 0x80)
            continue;
        const std::size_t before = line.find_last_of(" \t,", i);
        const std::size_t start = before == std::string_view::npos ? 0 : before + 1;
        const std::string_view word = line.substr(start, line.find_first_of(" \t,", i) - start);
        LSMTP_FUZZ_CHECK(word.find('@') != std::string_view::npos);
    }
}

// Lines of a header: the first starts with `label`, the others are folds.
// Address headers may keep an 8-bit address, and what a lax reading takes
// for one; without any "@" there is none. `ours_encoded`: every "=?" in
// the header starts an encoded-word the library wrote.
void check_header(std::string_view label, std::string_view header, bool addresses, bool ours_encoded,
                  bool no_address = false)
{
    const std::vector<std::string_view> lines = checked_lines(header);
    LSMTP_FUZZ_CHECK(!lines.empty() && lines.front().starts_with(label));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        LSMTP_FUZZ_CHECK(line.size() <= lsmtp::max_header_line);
        LSMTP_FUZZ_CHECK(line.find_first_not_of(" \t") != std::string_view::npos);
        LSMTP_FUZZ_CHECK(i == 0 || is_blank(line.front()));
        for (const char c : line)
            LSMTP_FUZZ_CHECK(c == '\t' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F));
        if (ours_encoded && line.find("=?") != std::string_view::npos)
            LSMTP_FUZZ_CHECK(line.size() <= lsmtp::encoded_header_line);
        if (!addresses)
            LSMTP_FUZZ_CHECK(lsmtp::is_ascii(line));
        else if (no_address)
            check_8bit_only_in_addresses(line);
    }
}

// What line_breaks_are_folds accepts: each CR LF followed by white space,
// and no other CR or LF.
void check_folds_accepted(std::string_view value)
{
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r')
            LSMTP_FUZZ_CHECK(i + 2 < value.size() && value[i + 1] == '\n' && is_blank(value[i + 2]));
        if (value[i] == '\n')
            LSMTP_FUZZ_CHECK(i > 0 && value[i - 1] == '\r');
    }
}

// A name parameter after its header's fixed start, as the part header
// carries it.
void check_parameter(std::string_view header_start, const std::string &parameter)
{
    LSMTP_FUZZ_CHECK(parameter.starts_with(";"));
    const std::string header = std::string(header_start) + parameter + "\r\n";
    check_header(header_start, header, false, true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static constexpr std::array<std::string_view, 4> labels = {"Subject:", "Comments:", "To:", "Reply-To:"};
    if (size == 0)
        return 0;
    const std::string_view label = labels[data[0] % labels.size()];
    const bool addresses = data[0] % labels.size() >= 2;
    const std::string_view value(reinterpret_cast<const char *>(data + 1), size - 1);
    if (value.find('\0') != std::string_view::npos)
        return 0;  // the caller's text ends at its first NUL

    const bool folds = lsmtp::line_breaks_are_folds(value);
    if (folds)
        check_folds_accepted(value);
    std::string header;
    const bool written = lsmtp::header_lines(label, value,
                                             addresses ? lsmtp::HeaderKind::addresses : lsmtp::HeaderKind::unstructured,
                                             header) == lsmtp::HeaderFault::none;
    if (written)
        check_header(label, header, addresses, value.find("=?") == std::string_view::npos,
                     value.find('@') == std::string_view::npos);
    LSMTP_FUZZ_CHECK(folds || !written);
    LSMTP_FUZZ_CHECK(written || header.empty());

    // File names: no control characters (refused before they get here) and
    // no longer than a folder entry may be.
    bool plain = value.size() <= 255;
    for (const char c : value)
        plain = plain && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
    if (plain && value.find("=?") == std::string_view::npos) {
        check_parameter("Content-Type: application/octet-stream", lsmtp::name_parameter(value));
        check_parameter("Content-Disposition: attachment", lsmtp::filename_parameter(value));
    }
    return 0;
}
