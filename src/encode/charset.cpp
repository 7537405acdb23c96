#include "encode/charset.h"

#include "platform/system_text.h"

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

// The size of the UTF-8 sequence starting at `at` when it is well-formed,
// else 0.
std::size_t utf8_sequence(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    std::size_t size = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + size > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = at + 2; i < at + size; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return size;
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

std::size_t character_size(std::string_view text, std::size_t at, bool utf8)
{
    if (!utf8)
        return 1;
    const std::size_t size = utf8_sequence(text, at);
    return size == 0 ? 1 : size;
}

std::optional<std::string> utf8_on_entry(std::string_view text)
{
    if (is_utf8(text))
        return std::nullopt;
    return platform::system_text_to_utf8(text);
}

} // namespace lsmtp
