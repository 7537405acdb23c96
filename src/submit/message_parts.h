// The parts of the message: the text body and one base64 part per file.
#pragma once

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

// 0 when every path names a readable regular file, SMTP_ERR_ATTACH_OPEN
// otherwise. Checked before connecting, so that a missing file sends
// nothing (a file can still fail later, with the same code).
int check_attachments(const std::vector<std::string> &paths);

// The name tried for an attachment's encoded copy where the file system
// needs one: "<stem>.b64", then "<stem>-<attempt>.b64"; the stem is
// shortened, between UTF-8 characters, to keep the name within
// platform::max_file_name_bytes.
std::string encoded_copy_name(std::string_view stem, int attempt);

// Writes the body part when a body is given (or when there is nothing else
// to send), then one part per attachment path, then the closing boundary.
// Returns 0, SMTP_ERR_WRITE, SMTP_ERR_ENCODE_CREATE or SMTP_ERR_ATTACH_OPEN.
int write_body_and_attachments(DataWriter &writer, const char *body, const std::vector<std::string> &paths);

} // namespace lsmtp
