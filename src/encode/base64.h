// Base64 content-transfer-encoding of a whole file (RFC 2045, 6.8): lines of
// 76 characters, the last one shorter, every line followed by CR LF, "="
// padding, nothing else.
#pragma once

#include "platform/file.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace lsmtp {

// Writes the four characters of one group into `out`. `pad_count` is the
// number of bytes missing from the group (0, 1 or 2) and of "=" written in
// place of the last characters; missing bytes are passed as 0.
void encode_group(unsigned char first, unsigned char second, unsigned char third, int pad_count, char *out);

// Base64 of a short text on one line, without line breaks (for header
// words and parameters).
std::string encode_base64(std::string_view bytes);

enum class Base64Result { ok, read_failed, write_failed };

// Encodes `source` from its current position to its end into
// `destination`, in blocks of a fixed size (memory does not grow with the
// file). After every 100th full line (every 5,700 source bytes) the encoder
// pauses for 1 ms, before it encodes the next line, so that a large
// attachment does not hog the machine; lines may still wait in its buffer
// then, as in a buffered stream. The shorter last line does not count.
//
// A read error ends the source as its true end would: what was read is
// encoded and padded, then read_failed is returned. A write error stops at
// once with write_failed; the destination then holds an incomplete copy. The
// caller decides what either means; neither file is opened, positioned,
// flushed or closed here. `on_written`, when set, hears of the characters
// of every block written.
Base64Result encode_file_base64(platform::File &source, platform::File &destination,
                                const std::function<void(std::size_t)> &on_written = {});

} // namespace lsmtp
