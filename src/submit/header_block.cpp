#include "submit/header_block.h"

#include "base/wire_text.h"
#include "encode/date_header.h"
#include "submit/message_id.h"
#include "text/text.h"

namespace lsmtp {

std::string compose_header_block(const Request &request, std::string_view boundary)
{
    std::string block;
    return concat_append(block, "Date: ", date_header_now(), wire::date_line_end, "Message-ID: ",
                         message_id(request.sender, next_unique_parts()), "\r\n", request.address_lines,
                         "MIME-Version: 1.0\r\n", "Content-Type: Multipart/Mixed; boundary=", boundary, "\r\n",
                         request.text_lines);
}

} // namespace lsmtp
