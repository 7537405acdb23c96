// The parts of the message: the text body and one base64 part per file.
#pragma once

#include "submit/body_text.h"
#include "submit/boundary.h"
#include "submit/data_writer.h"

#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {

// The attachment paths named by the attachments argument: split on "," and
// ";", each piece trimmed, empty pieces skipped. The caller's text is not
// changed.
std::vector<std::string> attachment_paths(const char *attachments);

// 0 when every path names a readable regular file, SMTP_ERR_ATTACH_OPEN
// otherwise. Checked before connecting, so that a missing file sends
// nothing (a file can still fail later, with the same code).
int check_attachments(const std::vector<std::string> &paths);

// The name tried for an attachment's encoded copy where the file system
// needs one: "<stem>.b64", then "<stem>-<attempt>.b64"; the stem is
// shortened, between UTF-8 characters, to keep the name within
// platform::max_file_name_bytes.
std::string encoded_copy_name(std::string_view stem, int attempt);

// The names the reader sees for the attachments: the base names of the
// pieces of `entry_text`, the attachments argument as taken on entry (see
// text_on_entry), while `paths` (the pieces as the caller gave them) are
// what is opened.
std::vector<std::string> attachment_names(const std::vector<std::string> &paths, const char *entry_text);

// Everything after the header block.
struct MessageContent {
    BodyText body;
    std::vector<std::string> paths;
    std::vector<std::string> names; // one per path
    std::string boundary;
};

// Writes the body part when a body is given (or when there is nothing else
// to send), then one part per attachment path, then the closing boundary.
// Returns 0, SMTP_ERR_WRITE, SMTP_ERR_ENCODE_CREATE or SMTP_ERR_ATTACH_OPEN.
int write_body_and_attachments(DataWriter &writer, const MessageContent &content);

} // namespace lsmtp
