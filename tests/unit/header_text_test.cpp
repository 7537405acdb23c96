// Header text: the charset choice, encoded-words, folding, display names
// and attachment names, read back the way a mail reader reads them.
#include "encode/charset.h"
#include "encode/encoded_words.h"
#include "encode/header_text.h"
#include "encode/mime_parameter.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>
#include <vector>

using namespace lsmtp;

namespace {

// header_lines' answer: the lines written, or the fault that refused the value.
struct Written {
    HeaderFault fault;
    std::string lines;
    bool operator==(const std::string &expected) const { return fault == HeaderFault::none && lines == expected; }
    explicit operator bool() const { return fault == HeaderFault::none; }
    const std::string &operator*() const { return lines; }
};

Written header_lines(std::string_view label, std::string_view value, HeaderKind kind)
{
    Written written{HeaderFault::none, "kept"};
    written.fault = lsmtp::header_lines(label, value, kind, written.lines);
    // The lines go after what was written before; a refused value leaves that as it was.
    EXPECT_TRUE(written ? written.lines.starts_with("kept") : written.lines == "kept") << value;
    written.lines.erase(0, 4);
    return written;
}

std::string base64_decoded(std::string_view text)
{
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0, count = 0;
    for (const char c : text) {
        if (c == '=')
            break;
        bits = bits << 6 | static_cast<unsigned>(alphabet.find(c));
        if ((count += 6) >= 8)
            out += static_cast<char>(bits >> (count -= 8) & 0xFF);
    }
    return out;
}

// One encoded-word's bytes; EXPECTs its shape.
std::string word_decoded(std::string_view word)
{
    const std::size_t kind = word.find('?', 2);
    EXPECT_TRUE(word.substr(0, 2) == "=?" && word.substr(word.size() - 2) == "?=" && kind != word.npos) << word;
    const std::string_view body = word.substr(kind + 3, word.size() - kind - 5);
    if (word[kind + 1] == 'B')
        return base64_decoded(body);
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '=')
            out += static_cast<char>(std::stoi(std::string(body.substr(i + 1, 2)), nullptr, 16)), i += 2;
        else
            out += body[i] == '_' ? ' ' : body[i];
    }
    return out;
}

// Unfolds lines and decodes encoded-words, dropping the white space
// between adjacent words, as RFC 2047 readers do.
std::string read_back(std::string_view lines)
{
    std::string text, pending;
    bool after_word = false;
    for (std::size_t i = 0; i < lines.size();) {
        if (lines.substr(i, 2) == "\r\n") {
            i += 2;
        } else if (lines.substr(i, 2) == "=?") {
            const std::size_t end = lines.find("?=", lines.find('?', lines.find('?', i + 2) + 1) + 1) + 2;
            text += (after_word ? "" : pending) + word_decoded(lines.substr(i, end - i));
            pending.clear();
            after_word = true;
            i = end;
        } else if (lines[i] == ' ' || lines[i] == '\t') {
            pending += lines[i++];
        } else {
            text += pending + lines[i++];
            pending.clear();
            after_word = false;
        }
    }
    return text + pending;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

void expect_lines_within(const std::string &lines, std::size_t limit)
{
    for (const std::string &line : lines_of(lines)) {
        EXPECT_LE(line.size(), limit) << line;
        EXPECT_NE(line.find_first_not_of(" \t"), std::string::npos) << "blank line in\n" << lines;
    }
}

} // namespace

TEST(Charset, DecidedFromTheBytesAlone)
{
    for (const auto &[text, label] : std::vector<std::pair<std::string, std::string>>{
             {"plain", "UTF-8"},
             {"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80", "UTF-8"},
             {"Gr\xFC\xDF" "e", "ISO-8859-1"},
             {"\x93quoted\x94 \x80", "windows-1252"},
             {"\xC0\xAF", "ISO-8859-1"},           // overlong "/"
             {"\xED\xA0\x80", "windows-1252"},     // a surrogate
             {"\xF4\x90\x80\x80", "windows-1252"}, // above U+10FFFF
             {"caf\xC3", "ISO-8859-1"},            // cut short
         })
        EXPECT_EQ(charset_of(text), label) << text;
}

// Text is read eight bytes at a time while it is ASCII: a byte above ASCII
// is found wherever it falls in or across those words, and the checks of
// UTF-8 resume at the right byte after an ASCII run.
TEST(Charset, EveryPositionOfANonAsciiByteCounts)
{
    for (std::size_t length = 1; length <= 20; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            std::string text(length, 'a');
            text[at] = '\xE9';
            const std::string where = std::to_string(at) + " of " + std::to_string(length);
            EXPECT_FALSE(is_ascii(text)) << where;
            EXPECT_FALSE(is_utf8(text)) << where;  // a lead byte without its continuation
            text.insert(at + 1, "\x80\x80");
            EXPECT_TRUE(is_utf8(text)) << where;
            text[at] = '\x80';  // a continuation without its lead
            EXPECT_FALSE(is_utf8(text)) << where;
        }
        EXPECT_TRUE(is_ascii(std::string(length, '\x7F')));
    }
}

TEST(Charset, TextOnEntryIsConvertedOnlyFromTheAnsiCodePage)
{
    EXPECT_FALSE(utf8_on_entry("caf\xC3\xA9"));
#ifdef _WIN32
    if (GetACP() != 1252)
        GTEST_SKIP() << "the process's ANSI code page is " << GetACP();
    EXPECT_EQ(utf8_on_entry("\x93" "caf\xE9\x94 \x80"), "\xE2\x80\x9C" "caf\xC3\xA9\xE2\x80\x9D \xE2\x82\xAC");
#else
    EXPECT_FALSE(utf8_on_entry("caf\xE9"));
#endif
}

TEST(EncodedWords, ShorterOfQAndB)
{
    EXPECT_EQ(encode_words("Caf\xC3\xA9 au lait", 75), std::vector<std::string>{"=?UTF-8?Q?Caf=C3=A9_au_lait?="});
    EXPECT_EQ(encode_words("Gr\xC3\xBC\xC3\x9F" "e", 75), std::vector<std::string>{"=?UTF-8?B?R3LDvMOfZQ==?="});
    EXPECT_EQ(encode_words("caf\xE9", 75, WordEncoding::base64), std::vector<std::string>{"=?ISO-8859-1?B?Y2Fm6Q==?="});
}

TEST(EncodedWords, WholeCharactersWithinTheLimit)
{
    // 63 letters fill a "Q" word to exactly 75 characters; an "é" after 62
    // letters does not fit and moves whole into the next word.
    EXPECT_EQ(encode_words(std::string(63, 'a'), 75).size(), 1u);
    EXPECT_EQ(encode_words(std::string(63, 'a'), 75)[0].size(), 75u);
    EXPECT_EQ(encode_words(std::string(64, 'a'), 75).size(), 2u);
    EXPECT_EQ(encode_words(std::string(62, 'a') + "\xC3\xA9", 75),
              (std::vector<std::string>{"=?UTF-8?Q?" + std::string(62, 'a') + "?=", "=?UTF-8?Q?=C3=A9?="}));

    std::string emoji, euro;
    for (int i = 0; i < 40; ++i)
        emoji += "\xF0\x9F\x98\x80", euro += "x\xE2\x82\xAC";
    for (const std::string &text : {emoji, euro, std::string(300, '\xE9'), std::string(200, 'q')}) {
        for (const std::size_t first : {std::size_t{24}, std::size_t{60}}) {
            const std::vector<std::string> words = encode_words(text, first);
            std::string joined;
            for (std::size_t i = 0; i < words.size(); ++i) {
                EXPECT_LE(words[i].size(), i == 0 ? first : max_encoded_word);
                const std::string bytes = word_decoded(words[i]);
                EXPECT_TRUE(is_utf8(text) ? is_utf8(bytes) : true) << words[i];
                joined += bytes;
            }
            EXPECT_EQ(joined, text);
        }
    }
}

TEST(EncodedWords, BWordsButTheLastEndOnWholeGroups)
{
    // Cyrillic, emoji and CJK cut on groups of 2, 4 and 3 bytes; after one
    // ASCII letter no CJK boundary is a whole group from the start.
    std::string cyrillic, emoji, cjk, latin1;
    for (int i = 0; i < 12; ++i)
        cyrillic += "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 ", emoji += "\xF0\x9F\x98\x80",
            cjk += "\xE6\x97\xA5\xE6\x9C\xAC", latin1 += "\xE9t\xE9 ";
    for (const std::string &text : {cyrillic, emoji, cjk, "a" + cjk, latin1}) {
        for (const std::size_t first : {std::size_t{24}, std::size_t{29}, std::size_t{67}, std::size_t{75}}) {
            const std::vector<std::string> words = encode_words(text, first, WordEncoding::base64, 74);
            ASSERT_GT(words.size(), 1u);
            std::string joined;
            for (std::size_t i = 0; i < words.size(); ++i) {
                EXPECT_LE(words[i].size(), i == 0 ? first : 74u) << words[i];
                const std::string bytes = word_decoded(words[i]);
                EXPECT_TRUE(text == latin1 || is_utf8(bytes)) << words[i];
                const bool b_word = words[i].find("?B?") != std::string::npos;
                if (b_word && i + 1 < words.size()) {
                    EXPECT_EQ(bytes.size() % 3, 0u) << words[i];
                }
                joined += bytes;
            }
            EXPECT_EQ(joined, text);
        }
    }
    // The letter and the CJK text up to the limit go in a "Q" word; the
    // rest, now on whole groups, in "B" words.
    const std::vector<std::string> words = encode_words("a" + cjk, 75, WordEncoding::base64);
    EXPECT_EQ(words.front(), "=?UTF-8?Q?a=E6=97=A5=E6=9C=AC=E6=97=A5=E6=9C=AC=E6=97=A5=E6=9C=AC?=");
    EXPECT_EQ(words[1].substr(0, 10), "=?UTF-8?B?");
    // Text that fits one word keeps its padding.
    EXPECT_EQ(encode_words("\xC3\xA9", 75, WordEncoding::base64), std::vector<std::string>{"=?UTF-8?B?w6k=?="});
}

TEST(HeaderLines, AsciiThatFitsIsUnchanged)
{
    for (const std::string &value : std::vector<std::string>{"", "Report", "a long\r\n subject\r\n\tfolded", std::string(990, 's')})
        EXPECT_EQ(header_lines("Subject:", value, HeaderKind::unstructured), "Subject:" + value + "\r\n");
    EXPECT_EQ(header_lines("To:", "a@x.test;b@x.test", HeaderKind::addresses), "To:a@x.test;b@x.test\r\n");
}

TEST(HeaderLines, LineBreaksMustBeFoldsOntoText)
{
    for (const char *value : {"x\r\n \r\n\tmore", "x\r\n", "x\r\n\t", "a\nb", "a\rb", "a\r\n\r\n b", "x\r\n  \t"}) {
        EXPECT_FALSE(line_breaks_are_folds(value)) << value;
        EXPECT_EQ(header_lines("Subject:", value, HeaderKind::unstructured).fault, HeaderFault::line_break_not_fold);
        EXPECT_EQ(header_lines("To:", value, HeaderKind::addresses).fault, HeaderFault::line_break_not_fold);
    }
}

TEST(HeaderLines, UnstructuredFoldsAtItsOwnWhiteSpaceOrEncodes)
{
    std::string words;
    for (int i = 0; i < 300; ++i)
        words += (i % 7 ? " word" : "  \tw") + std::to_string(i);
    const std::string spaced = *header_lines("Subject:", words, HeaderKind::unstructured);
    expect_lines_within(spaced, folded_header_line + 2);
    std::string unfolded = spaced;
    for (std::size_t at; (at = unfolded.find("\r\n")) != std::string::npos;)
        unfolded.erase(at, 2);
    EXPECT_EQ(unfolded, "Subject:" + words);

    for (const std::string &value : {std::string(3000, 'x'), "Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e " + words}) {
        const std::string lines = *header_lines("Subject:", value, HeaderKind::unstructured);
        expect_lines_within(lines, folded_header_line + 2);
        EXPECT_EQ(read_back(lines), "Subject: " + value) << lines.substr(0, 200);
    }
}

TEST(HeaderLines, DisplayNamesAndCommentsAreEncodedAddressesStay)
{
    const auto to = [](const std::string &value) { return header_lines("To:", value, HeaderKind::addresses); };
    EXPECT_EQ(to("J\xC3\xBCrgen M\xC3\xBCller <j@x.de>,b@x.org"),
              "To: =?UTF-8?B?SsO8cmdlbiBNw7xsbGVy?= <j@x.de>,b@x.org\r\n");
    EXPECT_EQ(to("\"M\xC3\xBCller, J\xC3\xBCrgen\" <j@x.de>"), "To: =?UTF-8?B?TcO8bGxlciwgSsO8cmdlbg==?= <j@x.de>\r\n");
    EXPECT_EQ(to("Jos\xC3\xA9 Garcia Fernandez <j@x.es>"), "To: =?UTF-8?Q?Jos=C3=A9_Garcia_Fernandez?= <j@x.es>\r\n");
    EXPECT_EQ(to("j@x.de (J\xC3\xBCrgen)"), "To:j@x.de (=?UTF-8?Q?J=C3=BCrgen?=)\r\n");
    EXPECT_EQ(to("j\xC3\xBCrgen@b\xC3\xBC" "cher.de, \"x, y\" <a@x.org>"),
              "To:j\xC3\xBCrgen@b\xC3\xBC" "cher.de, \"x, y\" <a@x.org>\r\n");
    EXPECT_EQ(to("\"J\xC3\xBCrgen <j@x.de>").fault, HeaderFault::cannot_fold);
    // Items that are not one address would keep their non-ASCII 8-bit:
    // two addresses without their comma, a name without an address, text
    // after an address's comment.
    for (const char *value : {"J\xC3\xBCrgen <j@x.de> \"M\xC3\xBCller\" <m@x.de>", "\"J\xC3\xBCrgen\"",
                              "J\xC3\xBCrgen M\xC3\xBCller", "j@x.de (c) J\xC3\xBCrgen", "a@b, J\xC3\xBCrgen x@y"})
        EXPECT_EQ(to(value).fault, HeaderFault::cannot_fold) << value;
}

// Lines that carry an encoded-word stay within 76, at every length near
// the edges of a word and a line, in free text, display names and comments,
// also a comment that opens the value.
TEST(HeaderLines, EncodedLinesWithin76)
{
    const auto check = [](const std::string &label, const std::string &value, HeaderKind kind,
                          const std::string &expected) {
        const Written lines = header_lines(label, value, kind);
        ASSERT_TRUE(lines) << value;
        for (const std::string &line : lines_of(*lines))
            EXPECT_LE(line.size(), line.find("=?") == std::string::npos ? folded_header_line : encoded_header_line)
                << line;
        EXPECT_EQ(read_back(*lines), label + expected);
    };
    for (const std::string letter : {"\xC3\xA9", "\xD0\x96", "\xE6\x97\xA5", "\xF0\x9F\x98\x80"}) {
        std::string text = "x";
        for (int n = 0; n < 90; ++n) {
            text += n % 9 == 8 ? " " : letter;
            check("Subject:", text, HeaderKind::unstructured, " " + text);
            check("Return-Receipt-To:", text + " <r@x.org>", HeaderKind::addresses, " " + text + " <r@x.org>");
            check("Return-Receipt-To:", "\t(" + text + ")r@x.org", HeaderKind::addresses, "(" + text + ") r@x.org");
            const std::string list = concat("a@x.org, ", text, " <j@x.de> (", text, ")");
            check("To:", list, HeaderKind::addresses, list);
        }
    }
}

TEST(HeaderLines, ControlCharactersAreEncodedOrRefusedInAddresses)
{
    struct Case {
        const char *label;
        HeaderKind kind;
        std::string value;
        bool refused;
    };
    constexpr HeaderKind text = HeaderKind::unstructured, addresses = HeaderKind::addresses;
    for (const Case &c : std::vector<Case>{
             {"Subject:", text, "ESC \x1B[31mred\x1B[0m, BEL \x07 and DEL \x7F", false},
             {"Subject:", text, "caf\xC3\xA9\x07\r\n folded", false},
             {"Comments:", text, "\x01", false},
             {"From:", addresses, "Bob\x07 Smith <b@x.de>", false},
             {"From:", addresses, "\"Bob\x1B\" <b@x.de>, c@x.de (note\x7F)", false},
             {"To:", addresses, "b\x07@x.de", true},
             {"To:", addresses, "Bob <b@x\x1B.de>", true},
             {"To:", addresses, "J\xC3\xBCrgen <j\x7F@x.de>", true},
             {"To:", addresses, "a@x.de,\x07", true},
         }) {
        const Written lines = header_lines(c.label, c.value, c.kind);
        ASSERT_EQ(lines.fault, c.refused ? HeaderFault::control_in_address : HeaderFault::none) << c.value;
        if (!lines)
            continue;
        for (const char ch : *lines)
            EXPECT_TRUE((ch >= 0x20 && ch < 0x7F) || ch == '\r' || ch == '\n') << *lines;
        std::string expected = c.value;
        for (std::size_t at; (at = expected.find("\r\n")) != std::string::npos;)
            expected.erase(at, 2);
        if (c.kind == addresses) // the quotes of a display name are not read back
            expected.erase(std::remove(expected.begin(), expected.end(), '"'), expected.end());
        EXPECT_EQ(read_back(*lines), concat(c.label, " ", expected));
    }
    // Tab is white space, not a control character.
    EXPECT_EQ(header_lines("Subject:", "a\tb", text), "Subject:a\tb\r\n");
}

TEST(HeaderLines, LongAddressHeadersFoldAfterCommas)
{
    std::string list;
    for (int i = 0; i < 80; ++i)
        concat_append(list, i ? "," : "", "Name ", std::to_string(i), " <n", std::to_string(i), "@example.org>");
    const std::string lines = *header_lines("To:", list, HeaderKind::addresses);
    expect_lines_within(lines, folded_header_line + 2);
    // Every fold comes after a comma and adds the space the comma lacked.
    EXPECT_NE(lines.find(",\r\n"), std::string::npos);
    std::string unfolded = lines;
    for (std::size_t at; (at = unfolded.find(",\r\n ")) != std::string::npos;)
        unfolded.erase(at + 1, 3);
    EXPECT_EQ(unfolded, "To:" + list + "\r\n");

    const std::string huge = concat("<", std::string(1000, 'a'), "@x.org>, b@x.org");
    EXPECT_EQ(header_lines("To:", huge, HeaderKind::addresses).fault, HeaderFault::cannot_fold);
}

TEST(MimeParameter, AttachmentNames)
{
    EXPECT_EQ(name_parameter("report.txt"), "; name=report.txt");
    EXPECT_EQ(filename_parameter("my report.pdf"), "; filename=\"my report.pdf\"");
    EXPECT_EQ(name_parameter("r\xC3\xA9sum\xC3\xA9.pdf"), "; name=\"=?UTF-8?B?csOpc3Vtw6kucGRm?=\"");
    EXPECT_EQ(filename_parameter("r\xC3\xA9sum\xC3\xA9.pdf"), "; filename*=UTF-8''r%C3%A9sum%C3%A9.pdf");
    EXPECT_EQ(filename_parameter("caf\xE9.txt"), "; filename*=ISO-8859-1''caf%E9.txt");
    // "_" is escaped for readers that decode the value as a "Q" word; "'"
    // quoted for those that take a bare one for charset'language'.
    EXPECT_EQ(filename_parameter("F_\xC5\x81\xC3\xB3" "d\xC5\xBA.pdf"), "; filename*=UTF-8''F%5F%C5%81%C3%B3d%C5%BA.pdf");
    EXPECT_EQ(filename_parameter("a_b.txt"), "; filename=a_b.txt");
    EXPECT_EQ(filename_parameter("'quote'.txt"), "; filename=\"'quote'.txt\"");
    EXPECT_EQ(name_parameter("'quote'.txt"), "; name=\"'quote'.txt\"");
    // Shaped like an encoded word ("=?", later "?="): encoded, or readers would decode it.
    EXPECT_EQ(name_parameter("=?utf-8?q?x?=.txt"), "; name=\"=?UTF-8?B?PT91dGYtOD9xP3g/?=\r\n =?UTF-8?B?PS50eHQ=?=\"");
    EXPECT_EQ(filename_parameter("=?utf-8?q?x?=.txt"), ";\r\n filename*0*=UTF-8''%3D%3Futf-8%3Fq%3Fx%3F%3D.txt");
    EXPECT_EQ(filename_parameter("?=a=?=.txt"), "; filename=\"?=a=?=.txt\"");

    // Every length up to a few continuations, so that words and numbered
    // pieces end at every place in the text.
    std::string name = "\xC3\xA9";
    for (int i = 0; i < 40; ++i) {
        name += i % 3 ? "\xC3\xA9t" : "_ ";
        const std::string type = "Content-Type: application/octet-stream" + name_parameter(name);
        const std::string disposition = "Content-Disposition: attachment" + filename_parameter(name);
        expect_lines_within(type, encoded_header_line);
        expect_lines_within(disposition, folded_header_line);
        EXPECT_EQ(read_back(type.substr(type.find('"') + 1, type.size() - type.find('"') - 2)), name);
        EXPECT_EQ(disposition.find('_'), std::string::npos) << disposition;
        // The numbered pieces, percent-decoded in order, give the name back.
        std::string pieces;
        for (const std::string &line : lines_of(disposition)) {
            if (line.find("*=") == std::string::npos)
                continue; // the line of "attachment;"
            EXPECT_TRUE(line.starts_with(" filename*") || line.starts_with("Content-Disposition: attachment; filename*"))
                << line;
            const std::string value = line.substr(line.find_last_of("='") + 1);
            for (std::size_t at = 0; at < value.size() && value[at] != ';'; ++at) {
                if (value[at] == '%')
                    pieces += static_cast<char>(std::stoi(value.substr(at + 1, 2), nullptr, 16)), at += 2;
                else
                    pieces += value[at];
            }
        }
        EXPECT_EQ(pieces, name);
    }
}
