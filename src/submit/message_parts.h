// The parts of the message: the text body and one base64 part per file.
#pragma once

#include "base/outcome.h"
#include "submit/body_text.h"
#include "submit/boundary.h"
#include "submit/request.h"
#include "transport/data_writer.h"

#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {

// Everything after the header block.
struct MessageContent {
    BodyText body;
    const std::vector<Attachment> &attachments;
    Boundary boundary;
};

// Writes the body part when a body is given (or when there is nothing else
// to send), then one part per attachment, then the closing boundary. Code 0,
// or SMTP_ERR_WRITE (Step::message), SMTP_ERR_ENCODE_CREATE or
// SMTP_ERR_ATTACH_OPEN (Step::attachment, the path as subject).
Outcome write_body_and_attachments(DataWriter &writer, const MessageContent &content);

} // namespace lsmtp
