// The text part's form, the boundary choice and the Message-ID.
#include "platform/seams.h"
#include "submit/body_text.h"
#include "submit/boundary.h"
#include "submit/message_id.h"

#include <gtest/gtest.h>

#include <set>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace lsmtp;

TEST(BodyText, AsciiStaysNonAsciiIsLabelledAndQuoted)
{
    const BodyText ascii = prepare_body("plain text\r\n");
    EXPECT_FALSE(ascii.quoted);
    EXPECT_EQ(ascii.charset, "");
    EXPECT_EQ(ascii.wire(), "plain text\r\n");

    const BodyText german = prepare_body("sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(german.charset, "UTF-8");
    EXPECT_EQ(german.wire(), "sch=C3=B6ne Gr=C3=BC=C3=9Fe");
    EXPECT_EQ(prepare_body("\x93quoted\x94").charset, "windows-1252");
}

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

TEST(MessageId, UniquePartsAndTheSendersDomain)
{
    const UniqueParts parts{{1'000'000'000, 5}, 36, 35, 36 * 36};
    // 1,000,000,000,005 ms in base 36 is "cre66i9x"
    EXPECT_EQ(message_id("a@mail.example.org", parts), "<cre66i9x.10.z.100@mail.example.org>");
    EXPECT_EQ(message_id("a@Example-1.org", parts), "<cre66i9x.10.z.100@Example-1.org>");
    for (const char *no_domain : {"a", "a@", "a@b..c", "a@[127.0.0.1]", "a@b\xC3\xBC.de", "a@.x", ""})
        EXPECT_EQ(message_id(no_domain, parts), "<cre66i9x.10.z.100@localhost>") << no_domain;
}

TEST(MessageId, PartsComeFromThePlatformAndNeverRepeat)
{
    platform::Seams fixed;
    fixed.clock = [] { return platform::WallClock{77, 1}; };
    fixed.process_id = [] { return 4242u; };
    fixed.random_bytes = [](unsigned char *out, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            out[i] = static_cast<unsigned char>(i + 1);
    };
    platform::ScopedSeams seams(fixed);
    const UniqueParts first = next_unique_parts();
    EXPECT_EQ(first.now.seconds, 77);
    EXPECT_EQ(first.process, 4242u);
    EXPECT_EQ(first.random, 0x0102030405060708u);
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i)
        seen.insert(message_id("a@x.org", next_unique_parts()));
    EXPECT_EQ(seen.size(), 100u);
}

#ifndef _WIN32
// A child made by fork goes on from its parent's count: only its own
// process number and random part keep its identifiers apart.
TEST(MessageId, AChildOfForkDoesNotRepeatItsParent)
{
    const UniqueParts before = next_unique_parts();
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const UniqueParts parts = next_unique_parts();
        _exit(write(ends[1], &parts, sizeof parts) == static_cast<ssize_t>(sizeof parts) ? 0 : 1);
    }
    close(ends[1]);
    UniqueParts in_child;
    const ssize_t got = read(ends[0], &in_child, sizeof in_child);
    close(ends[0]);
    int status = 1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof in_child));
    EXPECT_EQ(status, 0);
    const UniqueParts after = next_unique_parts();
    EXPECT_EQ(in_child.count, after.count);
    EXPECT_EQ(in_child.process, static_cast<std::uint32_t>(child));
    EXPECT_EQ(after.process, static_cast<std::uint32_t>(getpid()));
    EXPECT_NE(in_child.random, before.random);
    EXPECT_NE(message_id("a@x.org", in_child), message_id("a@x.org", after));
}
#endif
