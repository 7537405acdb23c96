#include "encode/encoded_words.h"

#include "encode/base64.h"
#include "encode/charset.h"
#include "text/text.h"

#include <cstring>

namespace lsmtp {
namespace {

// RFC 2047, section 5 (3): what a "Q" word may carry as itself in a phrase.
bool q_literal(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != 0 && std::strchr("!*+-/", c) != nullptr);
}

std::size_t q_size(unsigned char c) { return q_literal(c) || c == ' ' ? 1 : 3; }

std::size_t q_size(std::string_view bytes)
{
    std::size_t size = 0;
    for (const char c : bytes)
        size += q_size(static_cast<unsigned char>(c));
    return size;
}

std::size_t b_size(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

void append_q(std::string &word, std::string_view bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ' ') {
            word += '_';
        } else if (q_literal(byte)) {
            word += c;
        } else {
            append_hex_escape(word, '=', byte);
        }
    }
}

std::string make_word(std::string_view prefix, std::string_view bytes, bool base64)
{
    std::string word(prefix);
    if (base64)
        word += encode_base64(bytes);
    else
        append_q(word, bytes);
    return word += "?=";
}

} // namespace

std::vector<std::string> encode_words(std::string_view text, std::size_t first_limit, WordEncoding encoding)
{
    const std::string_view charset = charset_of(text);
    const bool utf8 = charset == "UTF-8";
    const bool base64 = encoding == WordEncoding::base64 || b_size(text.size()) < q_size(text);
    const std::string prefix = "=?" + std::string(charset) + (base64 ? "?B?" : "?Q?");
    const std::size_t overhead = prefix.size() + 2;

    std::vector<std::string> words;
    std::size_t limit = first_limit < max_encoded_word ? first_limit : max_encoded_word;
    std::size_t start = 0, end = 0, encoded = 0;
    while (end < text.size()) {
        const std::size_t size = character_size(text, end, utf8);
        const std::string_view character = text.substr(end, size);
        const std::size_t grown = base64 ? b_size(end + size - start) : encoded + q_size(character);
        if (end > start && overhead + grown > limit) {
            words.push_back(make_word(prefix, text.substr(start, end - start), base64));
            start = end;
            encoded = 0;
            limit = max_encoded_word;
            continue;
        }
        encoded = grown;
        end += size;
    }
    if (end > start || words.empty())
        words.push_back(make_word(prefix, text.substr(start, end - start), base64));
    return words;
}

} // namespace lsmtp
