// The call behind lsmtp_send_mail.
#pragma once

#include "base/outcome.h"
#include "submit/request.h"
#include "transport/connection.h"

namespace lsmtp {

// What lsmtp_send_mail does, waiting for replies as `limits` say: the C
// call gives the defaults, a test may give shorter ones. Without
// `text_wanted` (and no session observer) an accepted message's outcome
// leaves the acceptance's text out: lsmtp_send_mail hands back no text.
Outcome send_mail_at_edge(const MailArguments &args, const ReplyLimits &limits = {}, bool text_wanted = true) noexcept;

} // namespace lsmtp
