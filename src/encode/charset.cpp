#include "encode/charset.h"

#include "platform/system_text.h"
#include "text/utf8.h"

#include <cstdint>
#include <cstring>

namespace lsmtp {
namespace {

// How many bytes from `at` on are ASCII, eight at a time while it lasts:
// message text is mostly ASCII, and this runs over every byte of it.
std::size_t ascii_run(std::string_view text, std::size_t at)
{
    const std::size_t start = at;
    constexpr std::uint64_t high_bits = 0x8080808080808080u;
    // Four words at a time, then one.
    for (std::uint64_t words[4]; at + sizeof words <= text.size(); at += sizeof words) {
        std::memcpy(words, text.data() + at, sizeof words);
        if (((words[0] | words[1] | words[2] | words[3]) & high_bits) != 0)
            break;
    }
    for (std::uint64_t word = 0; at + sizeof word <= text.size(); at += sizeof word) {
        std::memcpy(&word, text.data() + at, sizeof word);
        if ((word & high_bits) != 0)
            break;
    }
    while (at < text.size() && static_cast<unsigned char>(text[at]) < 0x80)
        ++at;
    return at - start;
}

} // namespace

bool is_ascii(std::string_view text) { return ascii_run(text, 0) == text.size(); }

bool is_utf8(std::string_view text)
{
    for (std::size_t at = ascii_run(text, 0); at < text.size(); at += ascii_run(text, at)) {
        const std::size_t size = utf8_sequence(text, at);
        if (size == 0)
            return false;
        at += size;
    }
    return true;
}

std::string_view charset_of(std::string_view text)
{
    if (is_utf8(text))
        return "UTF-8";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte <= 0x9F)
            return "windows-1252";
    }
    return "ISO-8859-1";
}

std::optional<std::string> utf8_on_entry(std::string_view text)
{
    if (is_utf8(text))
        return std::nullopt;
    return platform::system_text_to_utf8(text);
}

} // namespace lsmtp
