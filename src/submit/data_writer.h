// The one writer for everything sent between the DATA reply and the
// end-of-data marker.
#pragma once

#include "transport/connection.h"

#include <string>
#include <string_view>

namespace lsmtp {

// Makes the message content safe to send (RFC 5321, section 4.5.2): every
// bare CR and every bare LF becomes CR LF, and a "." that starts a line is
// doubled. Its state carries across writes, so a CR LF pair or a leading dot
// split between two writes is handled the same as within one.
class DataWriter {
public:
    explicit DataWriter(SmtpSession &session) : session_(session) {}

    // Sends the text; false once any write of this writer has failed.
    bool write(std::string_view text);
    // Ends a line left open by a trailing CR. Call before the end-of-data
    // marker.
    bool finish();
    bool failed() const { return failed_; }

private:
    bool send(const std::string &bytes);

    SmtpSession &session_;
    std::string out_;
    bool line_start_ = true;  // content starts on a new line after DATA
    bool pending_cr_ = false; // a CR whose LF may still follow
    bool failed_ = false;
};

} // namespace lsmtp
