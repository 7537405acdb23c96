// The message's header block.
#pragma once

#include "submit/arguments.h"
#include "submit/data_writer.h"

namespace lsmtp {

inline constexpr const char *message_boundary = "Message-Boundary-21132";

// Writes the header lines in their fixed order: Date, To, Reply-To, Sender,
// From, Cc, Bcc (only when the caller gives its text), Return-Receipt-To, X-Mailer, MIME-Version, Content-Type,
// Comments, Subject. Returns 0, or SMTP_ERR_WRITE when a write failed.
int write_header_block(DataWriter &writer, const MailArguments &args);

} // namespace lsmtp
