#include "submit/header_block.h"

#include "encode/date_header.h"
#include "submit/message_id.h"
#include "text/text.h"

namespace lsmtp {

std::string compose_header_block(const Request &request, std::string_view boundary)
{
    std::string block;
    // The space before the Date line's CR LF, like the labels without a
    // space after their colon, is the fixed wire format, which receiving
    // filters may match.
    return concat_append(block, "Date: ", date_header_now(), " \r\n", "Message-ID: ",
                         message_id(request.sender, next_unique_parts()), "\r\n", request.address_lines,
                         "MIME-Version: 1.0\r\n", "Content-Type: Multipart/Mixed; boundary=", boundary, "\r\n",
                         request.text_lines);
}

} // namespace lsmtp
