// The message's header block.
#pragma once

#include "submit/request.h"

#include <string>
#include <string_view>

namespace lsmtp {

// The header lines in their fixed order: Date, Message-ID, the request's
// address lines (To, Reply-To, Sender, From, Cc, Bcc, Return-Receipt-To,
// X-Mailer), MIME-Version, Content-Type, then its Comments and Subject.
std::string compose_header_block(const Request &request, std::string_view boundary);

} // namespace lsmtp
