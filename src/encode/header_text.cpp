#include "encode/header_text.h"

#include "encode/charset.h"
#include "encode/encoded_words.h"
#include "text/address_tokens.h"
#include "text/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lsmtp {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// RFC 5322 allows only printable characters and white space in a header;
// CR and LF are checked as folds on their own.
bool is_header_control(char c) { return is_control(c) && c != '\t' && c != '\r' && c != '\n'; }

bool has_control(std::string_view text)
{
    for (const char c : text) {
        if (is_header_control(c))
            return true;
    }
    return false;
}

// Text a reader gets back only from encoded-words.
bool needs_encoding(std::string_view text) { return !is_ascii(text) || has_control(text); }

bool has_encoded_word(std::string_view text) { return text.find("=?") != std::string_view::npos; }

bool all_blank(std::string_view text)
{
    for (const char c : text) {
        if (!is_blank(c))
            return false;
    }
    return true;
}

std::size_t longest_line(std::string_view text)
{
    std::size_t longest = 0;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find("\r\n", start);
        const std::size_t size = (end == std::string_view::npos ? text.size() : end) - start;
        longest = size > longest ? size : longest;
        if (end == std::string_view::npos)
            return longest;
        start = end + 2;
    }
}

// The value as one line: every fold's CR LF removed, its white space kept.
std::string unfold(std::string_view value)
{
    std::string line;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
            ++i;
        else
            line += value[i];
    }
    return line;
}

std::string join(const std::vector<std::string> &words, std::string_view between)
{
    std::string joined;
    for (const std::string &word : words) {
        if (!joined.empty())
            joined += between;
        joined += word;
    }
    return joined;
}

// A place where a line may be folded: before `at`, adding a space after the
// CR LF when `add_space` (a fold after a comma with no space of its own).
struct FoldPoint {
    std::size_t at;
    bool add_space;
};

// Folds `text` after `label` at the given points, greedily, so that lines
// stay within folded_header_line, or encoded_header_line when they carry
// an encoded-word, where the points allow. Never folds before a piece of
// white space only, which would make a blank line.
std::string fold(std::string_view label, std::string_view text, const std::vector<FoldPoint> &points)
{
    std::string out(label);
    std::size_t line = label.size();
    std::size_t start = 0;
    bool add_space = false, line_has_text = false, line_has_word = false;
    for (std::size_t i = 0; i <= points.size(); ++i) {
        const std::size_t end = i < points.size() ? points[i].at : text.size();
        const std::string_view piece = text.substr(start, end - start);
        const std::size_t limit =
            line_has_word || has_encoded_word(piece) ? encoded_header_line : folded_header_line;
        if (line_has_text && !all_blank(piece) && line + piece.size() > limit) {
            out += add_space ? "\r\n " : "\r\n";
            line = add_space ? 1 : 0;
            line_has_word = false;
        }
        out += piece;
        line += piece.size();
        line_has_text = line_has_text || !all_blank(piece);
        line_has_word = line_has_word || has_encoded_word(piece);
        if (i < points.size()) {
            start = end;
            add_space = points[i].add_space;
        }
    }
    return out;
}

// Unstructured text folds before each run of its own white space.
std::vector<FoldPoint> white_space_points(std::string_view text)
{
    std::vector<FoldPoint> points;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (is_blank(text[i]) && !is_blank(text[i - 1]))
            points.push_back({i, false});
    }
    return points;
}

std::string encoded_value(std::string_view label, std::string_view text)
{
    const std::string spaced = label.empty() || is_blank(label.back()) ? std::string(label) : std::string(label) + ' ';
    const std::size_t first = encoded_header_line > spaced.size() ? encoded_header_line - spaced.size() : 0;
    return spaced + join(encode_words(text, first), "\r\n ");
}

std::string unstructured_lines(std::string_view label, std::string_view value)
{
    const std::string text = unfold(value);
    if (!needs_encoding(text)) {
        std::string folded = fold(label, text, white_space_points(text));
        if (longest_line(folded) <= max_header_line)
            return folded;
    }
    return encoded_value(label, text);
}

// Where each byte of structured text lies (RFC 5322, section 3.2).
enum class Region { top, quoted, comment, angle };

// The region of every byte; empty when a quote, comment or angle bracket is
// left open.
std::optional<std::vector<Region>> regions_of(std::string_view text)
{
    std::vector<Region> regions;
    bool angle = false;
    for (const AddressToken &token : address_tokens(text, Parentheses::comments)) {
        if (!token.closed)
            return std::nullopt;
        Region region = Region::top;
        if (token.kind == TokenKind::quoted || token.kind == TokenKind::comment) {
            region = token.kind == TokenKind::quoted ? Region::quoted : Region::comment;
        } else if (angle || token.kind == TokenKind::open_angle) {
            angle = token.kind != TokenKind::close_angle;
            region = Region::angle;
        }
        regions.insert(regions.end(), token.end - token.begin, region);
    }
    if (angle)
        return std::nullopt;
    return regions;
}

// The text of a quoted string or comment body: escapes and quotes removed.
std::string unquoted(std::string_view text)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size())
            plain += text[++i];
        else if (text[i] != '"')
            plain += text[i];
    }
    return plain;
}

std::string phrase_words(std::string_view text, std::size_t first_limit)
{
    return join(encode_words(text, first_limit), " ");
}

// A comment's words leave room on their lines for its parentheses and the
// comma after an item.
std::string comment_words(std::string_view text, std::size_t first_limit)
{
    constexpr std::size_t limit = max_encoded_word - 3;
    return join(encode_words(text, first_limit, WordEncoding::shorter, limit), " ");
}

// Comments (outside the address) that need encoding become encoded-words.
// A comment that opens the item may have no white space before it to fold
// at, so its first word keeps within `word_limit` as a display name's does.
std::string encode_comments(std::string_view item, const std::vector<Region> &regions, std::size_t from,
                            std::size_t word_limit)
{
    std::string out(item.substr(0, from));
    for (std::size_t i = from; i < item.size();) {
        if (regions[i] != Region::comment) {
            out += item[i++];
            continue;
        }
        std::size_t end = i;
        while (end < item.size() && regions[end] == Region::comment)
            ++end;
        const std::string_view comment = item.substr(i, end - i);
        if (!needs_encoding(comment)) {
            out += comment;
        } else {
            // One space around the words' comment lets its line fold; a
            // longer run before it could not fold away.
            while (!out.empty() && is_blank(out.back()))
                out.pop_back();
            if (!out.empty())
                out += ' ';
            const std::size_t first_limit = out.empty() ? word_limit - 2 : max_encoded_word;
            concat_append(out, "(", comment_words(unquoted(comment.substr(1, comment.size() - 2)), first_limit),
                          ")");
            if (end < item.size() && !is_blank(item[end]))
                out += ' ';
        }
        i = end;
    }
    return out;
}

// Whether the item holds nothing but white space and comments from `from`
// on: an address item ends with its address.
bool only_comments_from(std::string_view item, const std::vector<Region> &regions, std::size_t from)
{
    for (std::size_t i = from; i < item.size(); ++i) {
        if (regions[i] != Region::comment && item[i] != ' ' && item[i] != '\t')
            return false;
    }
    return true;
}

// Whether an item without angle brackets is one bare address: an "@"
// outside quotes and comments, and no white space or comment within it.
bool bare_address(std::string_view item, const std::vector<Region> &regions)
{
    bool text = false, gap = false, at = false;
    for (std::size_t i = 0; i < item.size(); ++i) {
        if (regions[i] == Region::comment || (regions[i] == Region::top && (item[i] == ' ' || item[i] == '\t'))) {
            gap = text;
            continue;
        }
        if (gap)
            return false;
        text = true;
        at = at || (regions[i] == Region::top && item[i] == '@');
    }
    return at;
}

// One address item that needs encoding: its display name (the phrase before
// the angle bracket) and its comments become encoded-words; the address
// stays.
std::optional<std::string> encoded_address_item(std::string_view item, std::size_t word_limit)
{
    const std::optional<std::vector<Region>> regions = regions_of(item);
    if (!regions)
        return std::nullopt;
    std::size_t angle = 0;
    while (angle < item.size() && (*regions)[angle] != Region::angle)
        ++angle;
    if (angle == item.size()) {
        if (!bare_address(item, *regions))
            return std::nullopt;
        return encode_comments(item, *regions, 0, word_limit);
    }
    // Text after the address (a second address without its comma) would go
    // out as it is, 8-bit and all: such an item cannot be read.
    std::size_t after = angle;
    while (after < item.size() && (*regions)[after] == Region::angle)
        ++after;
    if (!only_comments_from(item, *regions, after))
        return std::nullopt;

    const std::string_view phrase = item.substr(0, angle);
    const std::size_t first = phrase.find_first_not_of(" \t");
    const std::size_t last = phrase.find_last_not_of(" \t");
    if (first == std::string_view::npos || !needs_encoding(phrase))
        return encode_comments(item, *regions, angle, word_limit);
    const std::string_view name = phrase.substr(first, last + 1 - first);
    const std::string_view gap = last + 1 < phrase.size() ? phrase.substr(last + 1) : " ";
    // One space before the first word keeps it apart from the label or
    // comma; more could not fold away.
    std::string encoded = concat(" ", phrase_words(unquoted(name), word_limit), gap);
    const std::size_t rest = encoded.size();
    encoded += item.substr(angle);
    const std::optional<std::vector<Region>> encoded_regions = regions_of(encoded);
    if (!encoded_regions)
        return std::nullopt;
    return encode_comments(encoded, *encoded_regions, rest, word_limit);
}

// The item with its display name and comments encoded; empty when it
// cannot be parsed or a control character is left, which can only be in
// the address itself.
std::optional<std::string> encode_address_item(std::string_view item, std::size_t word_limit)
{
    std::optional<std::string> encoded = encoded_address_item(item, word_limit);
    if (encoded && has_control(*encoded))
        return std::nullopt;
    return encoded;
}

// Items split at the commas outside quotes, comments and angle brackets.
std::vector<std::string_view> address_items(std::string_view text, const std::vector<Region> &regions)
{
    std::vector<std::string_view> items;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || (text[i] == ',' && regions[i] == Region::top)) {
            items.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return items;
}

// Address text folds after its commas; an item too long for a line of its
// own, or carrying encoded-words, also folds before its runs of white
// space. Both only outside quotes and angle brackets (a comment may fold
// between its words).
std::vector<FoldPoint> address_points(std::string_view text, const std::vector<Region> &regions)
{
    std::vector<FoldPoint> points;
    std::size_t item_start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && (text[i] != ',' || regions[i] != Region::top))
            continue;
        const std::string_view item = text.substr(item_start, i - item_start);
        const bool long_item = item.size() >= encoded_header_line || has_encoded_word(item);
        for (std::size_t j = item_start + 1; long_item && j < i; ++j) {
            const bool outside = regions[j] == Region::top || regions[j] == Region::comment;
            if (outside && is_blank(text[j]) && !is_blank(text[j - 1]))
                points.push_back({j, false});
        }
        if (i + 1 < text.size())
            points.push_back({i + 1, !is_blank(text[i + 1])});
        item_start = i + 1;
    }
    return points;
}

HeaderFault address_lines(std::string_view label, std::string_view value, std::string &lines)
{
    std::string text = unfold(value);
    std::optional<std::vector<Region>> regions = regions_of(text);
    if (needs_encoding(text)) {
        // Text that cannot be parsed stays as written, when it is ASCII.
        std::vector<std::string_view> items = regions ? address_items(text, *regions)
                                                      : std::vector<std::string_view>{text};
        const std::size_t word_limit = encoded_header_line - label.size() - 1;
        std::string encoded;
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::optional<std::string> item = std::string(items[i]);
            if (needs_encoding(items[i]) && !(item = encode_address_item(items[i], word_limit)))
                return has_control(items[i]) ? HeaderFault::control_in_address : HeaderFault::cannot_fold;
            encoded += (i > 0 ? "," : "") + *item;
        }
        // Blanks at the end carry nothing here, and could not fold away.
        text = std::move(encoded.erase(encoded.find_last_not_of(" \t") + 1));
        regions = regions_of(text);
    }
    std::string folded = regions ? fold(label, text, address_points(text, *regions)) : std::string(label) + text;
    if (longest_line(folded) > max_header_line)
        return HeaderFault::cannot_fold;
    lines += folded;
    return HeaderFault::none;
}

bool printable_or_tab(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x20 && byte < 0x7F) || c == '\t';
}

// Whether the value goes out as it is, judged in one pass: printable ASCII
// and tabs only (no line break, so no fold to check), on one line short
// enough. Most values are, so eight bytes are judged at a step; a step that
// finds a byte below the space or from DEL up (a tab among them) looks at
// its bytes one by one.
bool plain_line(std::string_view label, std::string_view value)
{
    if (label.size() + value.size() > max_header_line)
        return false;
    if (value.size() < 8)
        return std::all_of(value.begin(), value.end(), printable_or_tab);
    constexpr std::uint64_t ones = 0x0101010101010101u;
    constexpr std::uint64_t high_bits = ones * 0x80;
    // The last step ends at the value's end, overlapping the one before.
    for (std::size_t at = 0;; at = std::min(at + 8, value.size() - 8)) {
        std::uint64_t word = 0;
        std::memcpy(&word, value.data() + at, sizeof word);
        const std::uint64_t below_space = (word - ones * 0x20) & ~word & high_bits;
        const std::uint64_t del_or_above = ((word + ones) | word) & high_bits;
        if ((below_space | del_or_above) != 0 && !std::all_of(value.data() + at, value.data() + at + 8, printable_or_tab))
            return false;
        if (at == value.size() - 8)
            return true;
    }
}

} // namespace

bool line_breaks_are_folds(std::string_view value)
{
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\n')
            return false;
        if (value[i] != '\r')
            continue;
        if (i + 2 >= value.size() || value[i + 1] != '\n' || !is_blank(value[i + 2]))
            return false;
        const std::size_t line_end = find_line_break(value, i + 2);
        if (all_blank(value.substr(i + 2, line_end == std::string_view::npos ? line_end : line_end - i - 2)))
            return false;
        ++i;
    }
    return true;
}

HeaderFault header_lines(std::string_view label, std::string_view value, HeaderKind kind, std::string &lines)
{
    if (plain_line(label, value)) {
        concat_append(lines, label, value, "\r\n");
        return HeaderFault::none;
    }
    if (!line_breaks_are_folds(value))
        return HeaderFault::line_break_not_fold;
    const std::size_t start = lines.size();
    lines.append(label).append(value);
    if (needs_encoding(value) || longest_line(std::string_view(lines).substr(start)) > max_header_line) {
        lines.resize(start);
        if (kind == HeaderKind::unstructured)
            lines += unstructured_lines(label, value);
        else if (const HeaderFault fault = address_lines(label, value, lines); fault != HeaderFault::none)
            return fault;
    }
    lines += "\r\n";
    return HeaderFault::none;
}

} // namespace lsmtp
