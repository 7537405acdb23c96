// MIME parameters of an attachment part: the file's name as every reader
// finds it.
#pragma once

#include <string>
#include <string_view>

namespace lsmtp {

// A MIME parameter value: the text itself when it is a token (RFC 2045,
// section 5.1) without "'", otherwise a quoted string with '"' and '\'
// escaped.
std::string mime_parameter_value(std::string_view text);

// The name parameter of Content-Type, with its leading "; ". A non-ASCII
// name, or an ASCII one that holds "=?" and later "?=" (which readers
// would decode), becomes base64 encoded-words inside a quoted string, as
// common mail programs write it, folded so that no line of
// "Content-Type: application/octet-stream" passes 76 characters.
std::string name_parameter(std::string_view name);

// The filename parameter of Content-Disposition, with its leading "; ". A
// name that name_parameter encodes is written as RFC 2231 extended value (charset'' then
// percent-encoded bytes, "_" among them), split into numbered continuations on lines of
// their own when "Content-Disposition: attachment" would pass 78.
std::string filename_parameter(std::string_view name);

} // namespace lsmtp
