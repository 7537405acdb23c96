// Every platform call a full send makes, failed in turn. One clean send
// (body and two attachments, numeric host, a server that answers at once)
// counts the calls of each kind; then the send is made again once per call,
// with just that call failing. Whatever fails, the call must come back with
// a documented result, succeed only when the server took the message, leave
// no descriptor open and no encoded copy behind, and say nothing more to the
// server after the failure than QUIT. A failure the call can get over must
// not change the message.
#include "mail_call.h"
#include "platform/seams.h"
#include "portable.h"
#include "scripted.h"
#include "allocation_limit.h"
#include "smtp_test_server.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <string>

using lsmtp::platform::Call;
using lsmtp::test::MailCall;
using lsmtp::test::open_descriptors;
using lsmtp::test::SmtpTestServer;
using lsmtp::test::TempFolder;

namespace {

constexpr std::array<const char *, lsmtp::platform::call_kinds> call_names = {
    "socket", "connect", "wait", "send",     "receive", "name lookup", "open",
    "create", "read",    "write", "position", "close",   "remove",      "unnamed file"};

struct Fault {
    Call kind;
    std::size_t nth;
};

// What the seams saw of one send. The lookup worker counts too, hence the
// lock.
struct Tally {
    std::mutex lock;
    std::array<std::size_t, lsmtp::platform::call_kinds> calls{};
    std::optional<std::size_t> sends_at_failure;  // the failed send included
    bool connected = false;  // a connect reached the system

    bool allow(Call kind, std::size_t nth, const std::optional<Fault> &fault)
    {
        const std::lock_guard<std::mutex> held(lock);
        calls[static_cast<std::size_t>(kind)] = nth;
        const bool fails = fault && fault->kind == kind && fault->nth == nth;
        if (fails)
            sends_at_failure = calls[static_cast<std::size_t>(Call::send)];
        connected = connected || (kind == Call::connect && !fails);
        return !fails;
    }
};

struct Outcome {
    int result = 0;
    lsmtp::test::RecordedSession session;
    std::size_t sends_after_failure = 0;
    std::array<std::size_t, lsmtp::platform::call_kinds> calls{};
};

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Copies that fall back to the temporary folder must land where the
        // test can look.
        lsmtp::test::set_variable("TMPDIR", scratch_.path.string().c_str());
        attachments_ = folder_.file("report.txt", std::string(5000, 'r') + "\n") + ";" +
                       folder_.file("photo.bin", std::string("\x00\xff\x80 binary", 10));
    }
    void TearDown() override { lsmtp::test::unset_variable("TMPDIR"); }

    Outcome send(const std::optional<Fault> &fault)
    {
        SmtpTestServer server;
#ifndef _WIN32
        // Windows counts only all handles of the process, the test server's
        // threads' included.
        const std::size_t descriptors = open_descriptors();
#endif
        Tally tally;
        Outcome outcome;
        {
            lsmtp::platform::Seams seams;
            seams.allow_call = [&](Call kind, std::size_t nth) { return tally.allow(kind, nth, fault); };
            lsmtp::platform::ScopedSeams installed(std::move(seams));
            MailCall call;
            call.body = "A body line.\n.\nThe end.";
            call.attachments = attachments_.c_str();
            outcome.result = call.send();
        }
        // A connect that reached the system made a session on loopback,
        // whatever came after it.
        if (tally.connected)
            outcome.session = lsmtp::test::only_session(server);
#ifndef _WIN32
        EXPECT_EQ(open_descriptors(), descriptors) << describe(fault);
#endif
        EXPECT_EQ(folder_.names(), (std::set<std::string>{"report.txt", "photo.bin"})) << describe(fault);
        EXPECT_TRUE(scratch_.names().empty()) << describe(fault);
        const std::lock_guard<std::mutex> held(tally.lock);
        outcome.calls = tally.calls;
        if (tally.sends_at_failure)
            outcome.sends_after_failure = tally.calls[static_cast<std::size_t>(Call::send)] - *tally.sends_at_failure;
        return outcome;
    }

    static std::string describe(const std::optional<Fault> &fault)
    {
        if (!fault)
            return "no failure";
        return "failed " + std::string(call_names[static_cast<std::size_t>(fault->kind)]) + " call " +
               std::to_string(fault->nth);
    }

private:
    TempFolder folder_;
    TempFolder scratch_;
    std::string attachments_;
};

// The message without its header block, which holds the date.
std::string content_of(const lsmtp::test::RecordedSession &session)
{
    const std::size_t body = session.data.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : session.data.substr(body);
}

bool documented(int result)
{
    static const std::set<int> own = {SMTP_ERR_CONNECT,       SMTP_ERR_SOCKET,      SMTP_ERR_RECV,
                                      SMTP_ERR_REPLY,         SMTP_ERR_TIMEOUT,     SMTP_ERR_ENCODE_CREATE,
                                      SMTP_ERR_ATTACH_OPEN,   SMTP_ERR_WRITE,       SMTP_ERR_MEMORY};
    return result == 221 || result == 250 || own.count(result) == 1;
}

} // namespace

TEST_F(FaultInjection, EveryPlatformCallOfASendMayFail)
{
    const Outcome clean = send(std::nullopt);
    ASSERT_EQ(clean.result, 221);
    ASSERT_TRUE(clean.session.data_complete);

    std::size_t injected = 0;
    for (std::size_t kind = 0; kind < lsmtp::platform::call_kinds; ++kind) {
        for (std::size_t nth = 1; nth <= clean.calls[kind]; ++nth, ++injected) {
            const Fault fault{static_cast<Call>(kind), nth};
            const std::string what = describe(fault);
            const Outcome failed = send(fault);
            EXPECT_TRUE(documented(failed.result)) << what << ": result " << failed.result;
            // After the whole message only QUIT is sent: its failure cannot
            // undo an accepted message, or a caller who retries sends it twice.
            if (fault.kind == Call::send && failed.session.data_complete) {
                EXPECT_LT(failed.result, 400) << what << ": accepted message reported failed";
            }
            if (failed.result < 400) {
                // A failure the call got over (another folder for the copy,
                // a close whose result does not matter): the whole message.
                EXPECT_TRUE(failed.session.data_complete) << what << ": success without the message";
                EXPECT_EQ(content_of(failed.session), content_of(clean.session)) << what;
                continue;
            }
            EXPECT_LE(failed.sends_after_failure, 1u) << what;
            if (failed.sends_after_failure == 1) {
                ASSERT_FALSE(failed.session.commands.empty()) << what;
                EXPECT_EQ(failed.session.commands.back(), "QUIT") << what << ": sent after the failure";
            }
        }
    }
    // Sockets, connects, sends, receives, copies and their reads and writes
    // all took part.
    EXPECT_GT(injected, 20u);
    std::printf("%zu failures injected:", injected);
    for (std::size_t kind = 0; kind < lsmtp::platform::call_kinds; ++kind)
        std::printf(" %s %zu", call_names[kind], clean.calls[kind]);
    std::printf("\n");
}

// Running out of memory at any allocation of a send gives 750, never
// success nor another code, and reaches the C interface as nothing but
// that result: any other exception would end the process here.
TEST_F(FaultInjection, EveryAllocationOfASendMayFail)
{
    std::size_t failed = 0;
    for (std::size_t allowed = 0;; ++allowed) {
        SmtpTestServer server;
        MailCall call;
        call.body = "A body line.";
        call.cc_list = "Cc Person <cc@example.test>";
        int result = 0;
        {
            const lsmtp::test::AllocationLimit limit(allowed);
            result = call.send();
        }
        if (result != SMTP_ERR_MEMORY) {
            EXPECT_EQ(result, 221) << "allocation " << allowed + 1 << " failed";
            break;
        }
        ++failed;
    }
    EXPECT_GT(failed, 5u);
    std::printf("%zu allocations failed in turn\n", failed);
}
