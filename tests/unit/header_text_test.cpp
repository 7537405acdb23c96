// Header text: the charset choice, encoded-words, folding, display names
// and attachment names, read back the way a mail reader reads them.
#include "encode/charset.h"
#include "encode/encoded_words.h"
#include "encode/header_text.h"
#include "encode/mime_parameter.h"
#include "text/text.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>
#include <vector>

using namespace lsmtp;

namespace {

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
        EXPECT_FALSE(header_lines("Subject:", value, HeaderKind::unstructured)) << value;
        EXPECT_FALSE(header_lines("To:", value, HeaderKind::addresses)) << value;
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
    EXPECT_FALSE(to("\"J\xC3\xBCrgen <j@x.de>"));
    // Items that are not one address would keep their non-ASCII 8-bit:
    // two addresses without their comma, a name without an address, text
    // after an address's comment.
    for (const char *value : {"J\xC3\xBCrgen <j@x.de> \"M\xC3\xBCller\" <m@x.de>", "\"J\xC3\xBCrgen\"",
                              "J\xC3\xBCrgen M\xC3\xBCller", "j@x.de (c) J\xC3\xBCrgen", "a@b, J\xC3\xBCrgen x@y"})
        EXPECT_FALSE(to(value)) << value;
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
    EXPECT_FALSE(header_lines("To:", huge, HeaderKind::addresses));
}

TEST(MimeParameter, AttachmentNames)
{
    EXPECT_EQ(name_parameter("report.txt"), "; name=report.txt");
    EXPECT_EQ(filename_parameter("my report.pdf"), "; filename=\"my report.pdf\"");
    EXPECT_EQ(name_parameter("r\xC3\xA9sum\xC3\xA9.pdf"), "; name=\"=?UTF-8?B?csOpc3Vtw6kucGRm?=\"");
    EXPECT_EQ(filename_parameter("r\xC3\xA9sum\xC3\xA9.pdf"), "; filename*=UTF-8''r%C3%A9sum%C3%A9.pdf");
    EXPECT_EQ(filename_parameter("caf\xE9.txt"), "; filename*=ISO-8859-1''caf%E9.txt");

    std::string name;
    for (int i = 0; i < 30; ++i)
        name += "\xC3\xA9t\xC3\xA9 ";
    const std::string type = "Content-Type: application/octet-stream" + name_parameter(name);
    const std::string disposition = "Content-Disposition: attachment" + filename_parameter(name);
    expect_lines_within(type, folded_header_line);
    expect_lines_within(disposition, folded_header_line);
    EXPECT_EQ(read_back(type.substr(type.find('"') + 1, type.size() - type.find('"') - 2)), name);
    // The numbered pieces, percent-decoded in order, give the name back.
    std::string pieces;
    for (const std::string &line : lines_of(disposition)) {
        if (line.find("*=") == std::string::npos)
            continue; // the line of "attachment;"
        EXPECT_EQ(line.substr(0, 10), " filename*");
        const std::string value = line.substr(line.find_last_of("='") + 1);
        for (std::size_t i = 0; i < value.size() && value[i] != ';'; ++i) {
            if (value[i] == '%')
                pieces += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16)), i += 2;
            else
                pieces += value[i];
        }
    }
    EXPECT_EQ(pieces, name);
}
