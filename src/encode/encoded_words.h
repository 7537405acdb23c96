// RFC 2047 encoded-words: non-ASCII text in header lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {

// RFC 2047, section 2: an encoded-word is at most 75 characters.
inline constexpr std::size_t max_encoded_word = 75;

enum class WordEncoding { shorter, base64 };

// Encodes `text` whole as encoded-words in the charset charset_of() names,
// "B" or "Q" (whichever makes the text shorter, unless base64 is asked for).
// Each word holds whole characters only; the first is at most
// `first_limit` characters long, the others at most `limit` (a word never
// comes out empty, so a limit too small for one character is passed).
// Every "B" word but the last ends on a whole 3-byte group of its bytes,
// without "=" padding; where no such cut fits, that word is a "Q" word.
// Decoding the words and joining them without the white space between
// them gives back `text`. "Q" words use only the characters that RFC 2047
// allows in a phrase, so they fit in every header.
std::vector<std::string> encode_words(std::string_view text, std::size_t first_limit,
                                      WordEncoding encoding = WordEncoding::shorter,
                                      std::size_t limit = max_encoded_word);

} // namespace lsmtp
