// The Message-ID: its unique parts, the sender's domain, and no repeat
// across calls or a fork.
#include "platform/seams.h"
#include "submit/message_id.h"

#include <gtest/gtest.h>

#include <set>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace lsmtp;

static std::string message_id(std::string_view sender, const UniqueParts &unique)
{
    std::string id;
    append_message_id(id, sender, unique);
    return id;
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
