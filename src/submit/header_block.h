// The message's header block.
#pragma once

#include "submit/arguments.h"

#include <optional>
#include <string>
#include <string_view>

namespace lsmtp {

inline constexpr const char *message_boundary = "Message-Boundary-21132";

// The header lines in their fixed order: Date, Message-ID, To, Reply-To,
// Sender, From, Cc, Bcc (only when the caller gives its text),
// Return-Receipt-To, X-Mailer, MIME-Version, Content-Type, Comments,
// Subject. Values are encoded and folded as header_lines() does; empty when
// it refuses one of them.
std::optional<std::string> compose_header_block(const MailArguments &args, std::string_view boundary);

} // namespace lsmtp
