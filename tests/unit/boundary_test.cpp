// The multipart boundary: changed only when the body holds its delimiter,
// and found in one pass over any body.
#include "encode/quoted_printable.h"
#include "submit/boundary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace lsmtp;

TEST(Boundary, ChangedOnlyWhenALineStartsWithItsDelimiter)
{
    for (const auto &[body, boundary] : std::vector<std::pair<std::string, std::string>>{
             {"", "Message-Boundary-21132"},
             {"text --Message-Boundary-21132 inside a line", "Message-Boundary-21132"},
             {"-Message-Boundary-21132\r\n", "Message-Boundary-21132"},
             {"--Message-Boundary-2113\r\n--Message-Boundary-2113", "Message-Boundary-21132"},
             {"--Message-Boundary-21132", "Message-Boundary-21132-1"},
             {"a\n--Message-Boundary-21132--\r\nb", "Message-Boundary-21132-1"},
             // Only the starts of lines count, CR and LF each ending one.
             {"--Message-Boundary-21132\r\nMessage-Boundary-21132-1 --Message-Boundary-21132-2",
              "Message-Boundary-21132-1"},
             {"--Message-Boundary-21132-1\r--Message-Boundary-21132-2\n--Message-Boundary-21132-3x",
              "Message-Boundary-21132-4"},
             // A line that begins with a delimiter rules it out: "-12" takes "-1" too.
             {"--Message-Boundary-21132-12\r\n", "Message-Boundary-21132-2"},
             {"--Message-Boundary-21132-1\r\n--Message-Boundary-21132-21", "Message-Boundary-21132-3"},
             {"--Message-Boundary-21132-0\r\n--Message-Boundary-21132-01", "Message-Boundary-21132-1"},
             {"--Message-Boundary-21132-\r\n--Message-Boundary-21132-x1", "Message-Boundary-21132-1"},
         })
        EXPECT_EQ(choose_boundary(body), boundary) << body;
}

// A quoted body's boundary is chosen over its encoded form, made a piece at
// a time: a delimiter that only a soft line break puts at a line's start
// counts, one that the encoding breaks does not.
TEST(Boundary, QuotedBodyIsJudgedAsEncoded)
{
    for (const auto &[text, boundary] : std::vector<std::pair<std::string, std::string>>{
             {"caf\xE9\r\n--Message-Boundary-21132\r\n", "Message-Boundary-21132-1"},
             {std::string(75, 'x') + "--Message-Boundary-21132-1 \xE9", "Message-Boundary-21132-2"},
             {"--Message=Boundary-21132 \xE9", "Message-Boundary-21132"},
             {std::string(20000, '\xE9') + "\n--Message-Boundary-21132-1\n", "Message-Boundary-21132-2"},
         }) {
        EXPECT_EQ(choose_boundary_quoted(text), boundary);
        EXPECT_EQ(choose_boundary(encode_quoted_printable(text)), boundary);
    }
}

std::string boundary_lines(unsigned first, unsigned last)
{
    std::string lines;
    for (unsigned n = first; n <= last; ++n)
        lines += "--Message-Boundary-21132-" + std::to_string(n) + "\r\n";
    return lines;
}

// The body as the chooser sees it, counting every byte it reads.
struct CountedReads {
    std::string_view text;
    mutable std::size_t reads = 0;

    std::size_t size() const { return text.size(); }
    char operator[](std::size_t at) const
    {
        ++reads;
        return text[at];
    }
    std::size_t find(char c, std::size_t from) const
    {
        const std::size_t found = text.find(c, from);
        reads += (found == std::string_view::npos ? text.size() : found + 1) - std::min(from, text.size());
        return found;
    }
};

// Hostile bodies cost one pass: every candidate up to the answer taken, by
// whole lines or by prefixes ("-1" to "-10" leave "-11" free; "-10" to
// "-99" take every one- and two-digit number).
TEST(Boundary, WorkStaysLinearWhateverTheBodyHolds)
{
    std::string web_form;
    while (web_form.size() < 4'000'000)
        web_form += "A line of a web form's text, Message-Boundary-21132-1 mentioned in it.\r\n";
    struct Case {
        std::string body;
        std::string boundary;
    };
    const std::vector<Case> cases = {
        {web_form + boundary_lines(1, 1000), "Message-Boundary-21132-1001"},
        {boundary_lines(1, 10), "Message-Boundary-21132-11"},
        {boundary_lines(10, 99), "Message-Boundary-21132-100"},
        {boundary_lines(1, 150'000), "Message-Boundary-21132-150001"},
        {std::string(1'000'000, '\n'), "Message-Boundary-21132"},
        {std::string(1'000'000, '-'), "Message-Boundary-21132"},
    };
    for (const Case &c : cases) {
        const CountedReads body{c.body};
        EXPECT_EQ(lsmtp::choose_boundary_in(body), c.boundary);
        EXPECT_LE(body.reads, 2 * c.body.size()) << c.boundary;
        EXPECT_GE(body.reads, c.body.size()) << c.boundary;  // every byte was looked at
    }
}
