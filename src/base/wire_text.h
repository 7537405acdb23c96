// The texts every message and session carries the same, byte for byte.
//
// They are fixed because receiving filters, scoring rules and the scripts of
// the library's users match them as this library has always sent them: a
// change here would change how existing users' mail is judged, so they stay
// as they are, odd spellings included (the lower-case "description", the
// space before the Date line's end, the blank line before the "." line).
// Here, below every layer, so that the transport (the end-of-data marker)
// and the message composition take them from one place.
#pragma once

#include <string_view>

namespace lsmtp::wire {

// The word after HELO.
inline constexpr std::string_view helo_word = "sorvane";

// The multipart boundary, unless a body line forces a numbered variant.
inline constexpr std::string_view message_boundary = "Message-Boundary-21132";

// The Date header line ends with a space before its CR LF.
inline constexpr std::string_view date_line_end = " \r\n";

// The X-Mailer label, with the space after its colon that the other labels
// lack, and its value when the caller gives none.
inline constexpr std::string_view mailer_label = "X-Mailer: ";
inline constexpr std::string_view default_mailer = "lumetra mail library";

// The last header line of the text part, with the blank line after it.
inline constexpr std::string_view body_part_description = "Content-description: Body of message\r\n\r\n";

// What ends the DATA stream: a blank line, then the "." line.
inline constexpr std::string_view end_of_data = "\r\n.\r\n";

} // namespace lsmtp::wire
