// The call behind lsmtp_send_mail.
#pragma once

#include "base/outcome.h"
#include "submit/request.h"
#include "transport/connection.h"

namespace lsmtp {

// What lsmtp_send_mail does, waiting for replies as `limits` say: the C
// call gives the defaults, a test may give shorter ones.
Outcome send_mail_at_edge(const MailArguments &args, const ReplyLimits &limits = {}) noexcept;

} // namespace lsmtp
