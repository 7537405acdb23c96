// The parts of the message: the text body and one base64 part per file.
#pragma once

#include "platform/file.h"
#include "submit/data_writer.h"

#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {

// The attachment paths named by the attachments argument: split on "," and
// ";", each piece trimmed, empty pieces skipped. The caller's text is not
// changed.
std::vector<std::string> attachment_paths(const char *attachments);

// A MIME parameter value: the text itself when it is a token (RFC 2045,
// section 5.1), otherwise a quoted string with '"' and '\' escaped.
std::string mime_parameter_value(std::string_view text);

// Creates the encoded copy of an attachment, a new private file beside it
// named after it with ".b64" (another free name when that one is taken), or
// in the temporary folder when the attachment's folder cannot take a file.
// Returns an invalid file when neither works; `copy_path` names the file
// created.
platform::File create_encoded_copy(const std::string &attachment, std::string &copy_path);

// Writes the body part when a body is given (or when there is nothing else
// to send), then one part per attachment path, then the closing boundary.
// Returns 0, SMTP_ERR_WRITE, SMTP_ERR_ENCODE_CREATE or SMTP_ERR_ATTACH_OPEN.
int write_body_and_attachments(DataWriter &writer, const char *body, const std::vector<std::string> &paths);

} // namespace lsmtp
