// The private scratch copy an attachment is encoded into before its part
// is sent.
#pragma once

#include "platform/file.h"
#include "submit/outcome.h"

#include <string>
#include <string_view>

namespace lsmtp {

// The name tried for an attachment's encoded copy where the file system
// needs one: "<stem>.b64", then "<stem>-<attempt>.b64"; the stem is
// shortened, between UTF-8 characters, to keep the name within
// platform::max_file_name_bytes.
std::string encoded_copy_name(std::string_view stem, int attempt);

// Encodes `source` whole into a private copy beside `path`, or in the
// temporary folder when its own folder cannot take the copy (read-only,
// full, or every name taken). The copy is encoded before its part starts,
// so a file that cannot be read fails before any byte of its part is sent.
// Code 0 with `copy` at its start; otherwise SMTP_ERR_ATTACH_OPEN (the file
// could not be read, or shrank while read) or SMTP_ERR_ENCODE_CREATE (no
// folder took the copy), at Step::attachment with the path as subject.
Outcome encode_to_copy(platform::File &source, const std::string &path, platform::File &copy);

} // namespace lsmtp
