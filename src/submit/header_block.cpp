#include "submit/header_block.h"

#include "base/wire_text.h"
#include "encode/date_header.h"
#include "submit/message_id.h"
#include "text/text.h"

namespace lsmtp {

std::string compose_header_block(const Request &request, std::string_view boundary)
{
    // One buffer, sized once: the fixed lines, the Date and the Message-ID
    // take less than 256 bytes beside the request's lines and the boundary.
    std::string block;
    block.reserve(256 + request.header_lines.size() + boundary.size());
    block += "Date: ";
    append_date_now(block);
    concat_append(block, wire::date_line_end, "Message-ID: ");
    append_message_id(block, request.sender, next_unique_parts());
    return concat_append(block, "\r\n", request.address_lines(), "MIME-Version: 1.0\r\n",
                         "Content-Type: Multipart/Mixed; boundary=", boundary, "\r\n", request.text_lines());
}

} // namespace lsmtp
