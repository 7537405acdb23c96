// The one writer for everything sent between the DATA reply and the
// end-of-data marker.
#pragma once

#include "transport/connection.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace lsmtp {

// Makes the message content safe to send (RFC 5321, section 4.5.2): every
// bare CR and every bare LF becomes CR LF, and a "." that starts a line is
// doubled. Its state carries across writes, so a CR LF pair or a leading dot
// split between two writes is handled the same as within one.
//
// The output collects in one buffer of fixed size and goes out in large
// sends: when the buffer is full, when the caller flushes, and with the
// end-of-data marker. Many small sends to a server that answers only at the
// end of data would wait for its delayed acknowledgements; a whole small
// message goes out in one send. Memory stays the same for any message size.
class DataWriter {
public:
    static constexpr std::size_t buffer_size = 64 * 1024;

    explicit DataWriter(Connection &connection);

    // Adds the text to the output. False once any send of this writer has
    // failed; after that nothing more is buffered or sent.
    bool write(std::string_view text);
    // Adds bytes in wire form already, whole lines ending in CR LF of which
    // none starts with ".", as they are where a line starts: nothing to look
    // at byte by byte. Elsewhere (after a CR that may await its LF, or
    // within a line) they go through write.
    bool write_wire_lines(std::string_view lines);
    // Sends what the buffer holds. Call before waiting or working locally for
    // long, so that what was written is on its way meanwhile.
    bool flush();
    // Ends a line left open by a trailing CR and sends the rest of the
    // content together with the end-of-data marker.
    bool finish();
    bool failed() const { return failed_; }

private:
    // Appends bytes as they are, sending each time the buffer fills.
    void put(std::string_view bytes);
    // Puts the text from `from` (which is no line break) up to the first
    // byte that needs a change or a look of its own; returns where it stopped.
    std::size_t put_lines(std::string_view text, std::size_t from);

    Connection &connection_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    bool line_start_ = true;  // content starts on a new line after DATA
    bool pending_cr_ = false; // a CR whose LF may still follow
    bool failed_ = false;
};

} // namespace lsmtp
