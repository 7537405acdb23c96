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

struct WordShape {
    std::string_view text;
    bool utf8;
    std::size_t overhead; // "=?charset?X?" and "?="
};

// The end of the longest run of whole characters from `start` whose "Q"
// word fits in `limit`; at least one character.
std::size_t q_word_end(const WordShape &shape, std::size_t start, std::size_t limit)
{
    std::size_t end = start, encoded = 0;
    while (end < shape.text.size()) {
        const std::size_t size = character_size(shape.text, end, shape.utf8);
        encoded += q_size(shape.text.substr(end, size));
        if (end > start && shape.overhead + encoded > limit)
            break;
        end += size;
    }
    return end;
}

// Where the "B" word from `start` ends: the whole rest when it fits,
// otherwise the last character boundary on a whole 3-byte group (so the
// word needs no "=" padding) that fits. `start` itself when there is none.
std::size_t b_word_end(const WordShape &shape, std::size_t start, std::size_t limit)
{
    std::size_t end = start, cut = start;
    while (end < shape.text.size()) {
        const std::size_t size = character_size(shape.text, end, shape.utf8);
        if (shape.overhead + b_size(end + size - start) > limit)
            return cut;
        end += size;
        if ((end - start) % 3 == 0)
            cut = end;
    }
    return end;
}

} // namespace

std::vector<std::string> encode_words(std::string_view text, std::size_t first_limit, WordEncoding encoding,
                                      std::size_t limit)
{
    const std::string_view charset = charset_of(text);
    const bool base64 = encoding == WordEncoding::base64 || b_size(text.size()) < q_size(text);
    const std::string b_prefix = concat("=?", charset, "?B?"), q_prefix = concat("=?", charset, "?Q?");
    const WordShape shape{text, charset == "UTF-8", b_prefix.size() + 2};

    std::vector<std::string> words;
    std::size_t word_limit = first_limit < limit ? first_limit : limit;
    for (std::size_t start = 0; start < text.size() || words.empty(); word_limit = limit) {
        // A padded "B" word followed by another is where some readers stop
        // decoding, so every "B" word but the last ends on a whole group;
        // where no such cut fits, that word is a "Q" word instead.
        const std::size_t b_end = base64 ? b_word_end(shape, start, word_limit) : start;
        const bool b_word = b_end > start || (base64 && start == text.size());
        const std::size_t end = b_word ? b_end : q_word_end(shape, start, word_limit);
        words.push_back(make_word(b_word ? b_prefix : q_prefix, text.substr(start, end - start), b_word));
        start = end;
    }
    return words;
}

} // namespace lsmtp
