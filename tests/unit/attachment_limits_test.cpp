// Attachments at the limits of the machine: read-only media and files much
// larger than the memory the library may use. Linux only: they need mount
// namespaces and fork.
#if defined(__linux__)
#include "mail_call.h"
#include "platform/seams.h"
#include "smtp_test_server.h"
#include "submit/message_parts.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <vector>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using lsmtp::test::MailCall;

namespace {

// Runs `child` in a forked process and returns its exit status (or -1).
template <typename Fn>
int in_child(Fn child)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(child());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

fs::path scratch_folder(const std::string &prefix)
{
    const fs::path folder = fs::temp_directory_path() / (prefix + std::to_string(getpid()));
    fs::create_directories(folder);
    return folder;
}

long peak_resident_kib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A server that answers every command and counts the message bytes without
// keeping them. Returns the number of content bytes before the "." line.
long long sink_one_session(int listener)
{
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0)
        return -1;
    auto say = [fd](const char *text) { (void)!send(fd, text, std::strlen(text), MSG_NOSIGNAL); };
    say("220 sink\r\n");
    std::string line;
    bool in_data = false;
    long long content = 0;
    char chunk[65536];
    for (ssize_t got; (got = recv(fd, chunk, sizeof chunk, 0)) > 0;) {
        const char *at = chunk;
        const char *end = chunk + got;
        while (at < end) {
            const char *newline = static_cast<const char *>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            const char *stop = newline == nullptr ? end : newline + 1;
            line.append(at, stop);
            at = stop;
            if (newline == nullptr)
                break;
            if (in_data) {
                if (line == ".\r\n") {
                    in_data = false;
                    say("250 kept\r\n");
                } else {
                    content += static_cast<long long>(line.size());
                }
            } else if (line.rfind("DATA", 0) == 0) {
                in_data = true;
                say("354 go\r\n");
            } else if (line.rfind("QUIT", 0) == 0) {
                say("221 bye\r\n");
            } else {
                say("250 ok\r\n");
            }
            line.clear();
        }
    }
    close(fd);
    return content;
}

} // namespace

// A folder that cannot take the encoded copy, read-only or full, sends it
// through the temporary folder instead, and nothing is left in either.
TEST(AttachmentLimits, FolderThatCannotTakeTheCopyFallsBackToTheTemporaryFolder)
{
    struct Case {
        const char *name;
        const char *mount_options;
        std::size_t size;
        bool read_only;
        std::size_t encoded;  // base64 bytes with line ends
    };
    const std::vector<Case> cases = {
        {"read-only", nullptr, 1, true, 6},
        // 40,000 bytes fill ten of the 16 pages; the copy needs 54,740.
        {"full", "size=64k", 40000, false, 701 * 78 + 62},
    };
    for (const Case &c : cases) {
        const fs::path folder = scratch_folder("lsmtp-small-");
        const fs::path temporary = scratch_folder("lsmtp-tmp-");
        lsmtp::test::SmtpTestServer server;
        const int status = in_child([&] {
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("tmpfs", folder.c_str(), "tmpfs", 0, c.mount_options) != 0)
                return 77;
            std::ofstream(folder / "a.txt") << std::string(c.size, 'f');
            if (c.read_only && mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                return 77;
            setenv("TMPDIR", temporary.c_str(), 1);
            MailCall call;
            const std::string path = (folder / "a.txt").string();
            call.attachments = path.c_str();
            return call.send() == 221 ? 0 : 1;
        });
        if (status == 77)
            GTEST_SKIP() << "mount namespaces are not available to this user";
        EXPECT_EQ(status, 0) << c.name;
        const std::string data = server.sessions(1)[0].data;
        const std::string part_head = "filename=a.txt\r\n\r\n";
        const std::size_t start = data.find(part_head) + part_head.size();
        ASSERT_NE(data.find(part_head), std::string::npos) << c.name;
        EXPECT_EQ(data.find("\r\n--Message-Boundary-21132--", start) - start, c.encoded) << c.name;
        EXPECT_EQ(data.substr(start, 4), c.size == 1 ? "Zg==" : "ZmZm") << c.name;
        EXPECT_TRUE(fs::is_empty(temporary)) << c.name;
        EXPECT_TRUE(fs::is_empty(folder)) << c.name << ": the tmpfs went with the child's namespace";
        fs::remove_all(folder);
        fs::remove_all(temporary);
    }
}

// Killed while it encodes, the process leaves no copy anywhere: the copy
// had no name (or lost it at once) all along.
TEST(AttachmentLimits, KilledMidSendLeavesNothing)
{
    const fs::path folder = scratch_folder("lsmtp-kill-");
    const fs::path temporary = scratch_folder("lsmtp-tmp-");
    std::ofstream(folder / "big.bin") << std::string(200000, 'k');
    // The child is forked before the server's threads start (a lock one of
    // them held at the fork would stay held in the child), and sends once
    // told that the server listens.
    int ready[2];
    int go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (char listening = 0; read(go[0], &listening, 1) != 1)
            _exit(1);
        setenv("TMPDIR", temporary.c_str(), 1);
        lsmtp::platform::Seams hold;
        int pauses = 0;
        // At the fifth pause the first block's text is in the copy: tell the
        // parent, then wait for the end.
        hold.pause = [&](int) {
            if (++pauses == 5) {
                (void)!write(ready[1], "r", 1);
                for (;;)
                    ::pause();
            }
        };
        lsmtp::platform::ScopedSeams seams(hold);
        MailCall call;
        const std::string path = (folder / "big.bin").string();
        call.attachments = path.c_str();
        call.send();
        _exit(1);
    }
    close(ready[1]);  // a child that ends early ends the wait below
    close(go[0]);
    lsmtp::test::SmtpTestServer server;
    ASSERT_EQ(write(go[1], "g", 1), 1);
    close(go[1]);
    char signal = 0;
    ASSERT_EQ(read(ready[0], &signal, 1), 1) << "the child ended before its copy was made";
    // The child holds its copy open, yet neither folder shows it.
    std::size_t copies_open = 0;
    for (const auto &entry : fs::directory_iterator("/proc/" + std::to_string(child) + "/fd")) {
        std::error_code not_a_link;
        const std::string target = fs::read_symlink(entry.path(), not_a_link).string();
        copies_open += target.rfind(folder.string() + "/", 0) == 0 && target.find("big.bin") == std::string::npos;
        copies_open += target.rfind(temporary.string() + "/", 0) == 0;
    }
    EXPECT_EQ(copies_open, 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
    EXPECT_TRUE(fs::is_empty(temporary));

    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
    EXPECT_TRUE(fs::is_empty(temporary));
    fs::remove_all(folder);
    fs::remove_all(temporary);
}

TEST(AttachmentLimits, OnlyRegularFilesAreAttached)
{
    // A device never ends and a FIFO blocks its reader: both are refused
    // before connecting.
    const fs::path fifo = fs::temp_directory_path() / ("lsmtp-fifo-" + std::to_string(getpid()));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    lsmtp::test::SmtpTestServer server;
    for (const std::string &path : {std::string("/dev/zero"), fifo.string(), fs::temp_directory_path().string()}) {
        MailCall call;
        call.attachments = path.c_str();
        EXPECT_EQ(call.send(), SMTP_ERR_ATTACH_OPEN) << path;
    }
    fs::remove(fifo);
    // Had any call above connected, its session would come first.
    EXPECT_EQ(MailCall{}.send(), 221);
    EXPECT_EQ(server.sessions(1).size(), 1u);
}

// A file far larger than the memory the library may use is encoded on the
// way; a large body goes from where the caller keeps it, never copied.
TEST(AttachmentLimits, LargeContentStreamsInFlatMemory)
{
    constexpr long long file_size = 200LL << 20;
    constexpr std::size_t body_size = 64 << 20;
    const fs::path folder = fs::temp_directory_path() / ("lsmtp-big-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path big = folder / "big.bin";
    std::ofstream(big).close();
    fs::resize_file(big, file_size); // sparse: zeros, no disk space used

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(25);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&local), sizeof local), 0);
    ASSERT_EQ(listen(listener, 1), 0);

    struct Case {
        std::string_view body_line; // empty: the file instead
        long growth_kib;            // what the send may add to the peak
        long long content;
    };
    const Case cases[] = {
        // 200 MiB of base64 in 76-character lines with CR LF is 280,350,584 bytes.
        {"", 16 * 1024, 280350584LL},
        {"A line of a large body, 64 bytes with its line end, 0123456\r\n", 8 * 1024,
         static_cast<long long>(body_size) - 64},
        // Quoted-printable, encoded on the way: more content than body.
        {"Line with accents: \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
         "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9 end\r\n",
         8 * 1024, static_cast<long long>(body_size)},
    };
    for (const Case &c : cases) {
        // The client runs in a child so that its peak memory is its own.
        const pid_t client = fork();
        if (client == 0) {
            lsmtp::platform::Seams no_pauses;
            no_pauses.pause = [](int) {};
            lsmtp::platform::ScopedSeams seams(no_pauses);
            std::string body;
            const std::string path = big.string();
            MailCall call;
            if (!c.body_line.empty()) {
                body.reserve(body_size); // exactly: growing would copy it once here
                while (body.size() + c.body_line.size() <= body_size)
                    body += c.body_line;
                call.body = body.c_str();
            } else {
                call.attachments = path.c_str();
            }
            const long before = peak_resident_kib();
            const int result = call.send();
            const long grown_kib = peak_resident_kib() - before;
            _exit(result != 221 ? 2 : grown_kib > c.growth_kib ? 3 : 0);
        }
        const long long content = sink_one_session(listener);
        int status = 0;
        waitpid(client, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "2: wrong result, 3: peak memory grew by more than " << c.growth_kib
                                          << " KiB (" << (c.body_line.empty() ? "file" : c.body_line) << ")";
        EXPECT_GT(content, c.content);
    }
    close(listener);
    EXPECT_FALSE(fs::exists(folder / "big.b64"));
    fs::remove_all(folder);
}
#endif
