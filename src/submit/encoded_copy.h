// The private scratch copy an attachment is encoded into before its part
// is sent.
#pragma once

#include "base/outcome.h"
#include "platform/file.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace lsmtp {

// The name tried for an attachment's encoded copy where the file system
// needs one: "<stem>.b64", then "<stem>-<attempt>.b64"; the stem is
// shortened, between UTF-8 characters, to keep the name within
// platform::max_file_name_bytes.
std::string encoded_copy_name(std::string_view stem, int attempt);

enum class Base64Result { ok, read_failed, write_failed };

struct Base64Encoding {
    Base64Result result = Base64Result::ok;
    platform::Failure failure;  // of the read or write that failed
};

// Encodes `source` from its current position to its end into
// `destination` as base64 lines, in blocks of a fixed size (memory does not
// grow with the file). After every 100th full line (every 5,700 source
// bytes) it pauses for 1 ms, before it encodes the next line, so that a
// large attachment does not hog the machine; lines may still wait in its
// buffer then, as in a buffered stream. The shorter last line does not
// count.
//
// A read error ends the source as its true end would: what was read is
// encoded and padded, then read_failed is returned. A write error stops at
// once with write_failed; the destination then holds an incomplete copy.
// The caller decides what either means; neither file is opened,
// positioned, flushed or closed here. `on_written`, when set, hears of the
// characters of every block written.
Base64Encoding encode_file_base64(platform::File &source, platform::File &destination,
                                const std::function<void(std::size_t)> &on_written = {});

// Encodes `source` whole into a private copy beside `path`, or in the
// temporary folder when its own folder cannot take the copy (read-only,
// full, or every name taken). The copy is encoded before its part starts,
// so a file that cannot be read fails before any byte of its part is sent.
// Code 0 with `copy` at its start; otherwise SMTP_ERR_ATTACH_OPEN (the file
// could not be read, or shrank while read) or SMTP_ERR_ENCODE_CREATE (no
// folder took the copy), at Step::attachment with the path as subject.
Outcome encode_to_copy(platform::File &source, const std::string &path, platform::File &copy);

} // namespace lsmtp
