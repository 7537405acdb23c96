#include "encode/mime_parameter.h"

#include "encode/charset.h"
#include "encode/encoded_words.h"
#include "encode/header_text.h"
#include "text/text.h"

#include <cstring>
#include <string>

namespace lsmtp {
namespace {

constexpr std::string_view content_type_line = "Content-Type: application/octet-stream";
constexpr std::string_view disposition_line = "Content-Disposition: attachment";

// RFC 2045, section 5.1, less "'": a bare value with one reads to some as
// an RFC 2231 charset'language'value.
bool is_token_char(unsigned char c)
{
    return c > 32 && c < 127 && std::strchr("()<>@,;:\\\"/[]?='", c) == nullptr;
}

// RFC 2231, section 7: attribute-char, the bytes an extended value carries
// as themselves; less "_", which a reader that turns the value into a "Q"
// word would show as a space.
bool is_attribute_char(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != 0 && std::strchr("!#$&+-.^`|~", c) != nullptr);
}

std::string percent_encoded(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_attribute_char(byte)) {
            out += c;
        } else {
            append_hex_escape(out, '%', byte);
        }
    }
    return out;
}

// An ASCII name goes as written unless it holds "=?" and later "?=":
// readers would take that for an RFC 2047 word and show it decoded.
bool sent_as_written(std::string_view name)
{
    if (!is_ascii(name))
        return false;
    const std::size_t opening = name.find("=?");
    return opening == std::string_view::npos || name.find("?=", opening + 2) == std::string_view::npos;
}

} // namespace

std::string mime_parameter_value(std::string_view text)
{
    bool token = !text.empty();
    for (const char c : text)
        token = token && is_token_char(static_cast<unsigned char>(c));
    if (token)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted += '"';
}

std::string name_parameter(std::string_view name)
{
    if (sent_as_written(name))
        return "; name=" + mime_parameter_value(name);
    const std::string opening = "; name=\"";
    // Every line carries a word, the last one the closing quote too.
    const std::size_t first = encoded_header_line - content_type_line.size() - opening.size() - 1;
    std::string parameter = opening;
    bool later = false;
    for (const std::string &word : encode_words(name, first, WordEncoding::base64, max_encoded_word - 1)) {
        parameter += later ? "\r\n " + word : word;
        later = true;
    }
    return parameter += '"';
}

std::string filename_parameter(std::string_view name)
{
    if (sent_as_written(name))
        return "; filename=" + mime_parameter_value(name);
    const std::string charset(charset_of(name));
    const std::string whole = "; filename*=" + charset + "''" + percent_encoded(name);
    if (disposition_line.size() + whole.size() <= folded_header_line)
        return whole;

    // Numbered pieces, each cut between whole characters.
    const bool utf8 = charset == "UTF-8";
    std::string parameter;
    std::string line = " filename*0*=" + charset + "''";
    std::size_t piece_start = line.size();
    for (std::size_t at = 0, section = 0; at < name.size();) {
        const std::size_t size = character_size(name, at, utf8);
        const std::string encoded = percent_encoded(name.substr(at, size));
        if (line.size() > piece_start && line.size() + encoded.size() + 1 > folded_header_line) {
            parameter += ";\r\n" + line;
            line = " filename*" + std::to_string(++section) + "*=";
            piece_start = line.size();
        }
        line += encoded;
        at += size;
    }
    return parameter += ";\r\n" + line;
}

} // namespace lsmtp
