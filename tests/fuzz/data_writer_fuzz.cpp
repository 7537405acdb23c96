// The DATA writer turns the caller's text into the transparent form of the
// mail data: whatever the text and however it is cut into writes, the bytes
// sent hold no bare CR or LF and no line that is a lone ".", and taking the
// added dots away gives back the text with every line end made CR LF, and
// the end-of-data marker follows. After a failed send nothing more goes out.
#include "pieces.h"
#include "platform/seams.h"
#include "transport/data_writer.h"

namespace {

// The text as it should arrive: CR LF, a bare CR and a bare LF each become
// CR LF.
std::string with_crlf_line_ends(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

void check_line_ends(const std::string &sent)
{
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == '\r')
            LSMTP_FUZZ_CHECK(i + 1 < sent.size() && sent[i + 1] == '\n');
        if (sent[i] == '\n')
            LSMTP_FUZZ_CHECK(i > 0 && sent[i - 1] == '\r');
    }
}

// Removes the dot the writer put before every line that starts with one; a
// line that is a lone "." would end the mail data early.
std::string unstuffed(const std::string &sent)
{
    std::string out;
    std::size_t start = 0;
    while (start < sent.size()) {
        std::size_t end = sent.find("\r\n", start);
        end = end == std::string::npos ? sent.size() : end + 2;
        const std::string_view line = std::string_view(sent).substr(start, end - start);
        LSMTP_FUZZ_CHECK(line != "." && line != ".\r\n");
        if (line.starts_with('.')) {
            LSMTP_FUZZ_CHECK(line.starts_with(".."));
            out += line.substr(1);
        } else {
            out += line;
        }
        start = end;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the send that fails (0: none) and whether every
    // write is flushed, as before a pause or an attachment's encoding, so
    // that a failure can come between two writes.
    const std::size_t failing_send = data[0] % 8;
    const bool flush_each_write = (data[0] & 0x80) != 0;
    const std::vector<std::string> pieces = lsmtp::fuzz::cut_into_pieces(data + 1, size - 1);

    std::string sent;
    std::size_t sends = 0;
    bool failed = false;
    lsmtp::platform::Seams seams;
    seams.send = [&](std::string_view bytes) {
        LSMTP_FUZZ_CHECK(!failed);
        failed = ++sends == failing_send;
        if (!failed)
            sent += bytes;
        return !failed;
    };
    lsmtp::platform::ScopedSeams installed(std::move(seams));

    lsmtp::Connection connection;
    lsmtp::DataWriter writer(connection);
    for (const std::string &piece : pieces) {
        LSMTP_FUZZ_CHECK(writer.write(piece) == !failed);
        if (flush_each_write)
            LSMTP_FUZZ_CHECK(writer.flush() == !failed);
    }
    LSMTP_FUZZ_CHECK(writer.finish() == !failed);
    LSMTP_FUZZ_CHECK(writer.failed() == failed);
    // The end-of-data marker goes out with the last send, or not at all.
    constexpr std::string_view marker = "\r\n.\r\n";
    LSMTP_FUZZ_CHECK(std::string_view(sent).ends_with(marker) == !failed);
    if (!failed)
        sent.resize(sent.size() - marker.size());
    check_line_ends(sent);
    const std::string content = unstuffed(sent);
    if (!failed)
        LSMTP_FUZZ_CHECK(content == with_crlf_line_ends(lsmtp::fuzz::joined(pieces)));
    return 0;
}
