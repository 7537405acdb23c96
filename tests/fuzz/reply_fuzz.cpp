// The reply scanner meets whatever the server sends. Whatever the bytes and
// however they arrive, it must end every reply in a code, "need more" or
// malformed, read nothing past what it was given, and reach the same
// verdicts as when the bytes come at once.
#include "pieces.h"
#include "transport/reply.h"

#include <memory>

namespace {

using lsmtp::ReplyScan;

// Scans a copy that ends exactly where the text ends, so that AddressSanitizer
// sees any read past it (a std::string keeps spare room after its end).
ReplyScan scan_exact(const std::string &received)
{
    const std::unique_ptr<char[]> copy(new char[received.size()]);
    std::copy(received.begin(), received.end(), copy.get());
    return lsmtp::scan_reply(std::string_view(copy.get(), received.size()));
}

void check_scan(const std::string &received, const ReplyScan &scan)
{
    switch (scan.status) {
    case ReplyScan::Status::complete:
        LSMTP_FUZZ_CHECK(scan.code >= 100 && scan.code <= 599);
        LSMTP_FUZZ_CHECK(scan.consumed > 0 && scan.consumed <= received.size());
        LSMTP_FUZZ_CHECK(received[scan.consumed - 1] == '\n');
        break;
    case ReplyScan::Status::need_more:
    case ReplyScan::Status::malformed:
        LSMTP_FUZZ_CHECK(scan.code == 0 && scan.consumed == 0);
        break;
    }
}

// What a session makes of the bytes: the codes of the replies it reads, then
// -1 when it meets garbage, as read_reply would.
std::vector<int> read_session(const std::vector<std::string> &pieces)
{
    std::vector<int> codes;
    std::string received;
    for (const std::string &piece : pieces) {
        received += piece;
        for (;;) {
            const ReplyScan scan = scan_exact(received);
            check_scan(received, scan);
            if (scan.status == ReplyScan::Status::need_more)
                break;
            if (scan.status == ReplyScan::Status::malformed) {
                codes.push_back(-1);
                return codes;
            }
            codes.push_back(scan.code);
            received.erase(0, scan.consumed);
        }
    }
    return codes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::string> pieces = lsmtp::fuzz::cut_into_pieces(data, size);
    const std::vector<int> piecemeal = read_session(pieces);
    const std::vector<int> at_once = read_session({lsmtp::fuzz::joined(pieces)});
    LSMTP_FUZZ_CHECK(piecemeal == at_once);
    return 0;
}
