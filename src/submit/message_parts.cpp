#include "submit/message_parts.h"

#include "base/session_observer.h"
#include "base/wire_text.h"
#include "encode/mime_parameter.h"
#include "encode/quoted_printable.h"
#include "lsmtp.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "submit/encoded_copy.h"
#include "text/text.h"

namespace lsmtp {
namespace {

constexpr std::size_t stream_chunk = 4096;

Outcome write_failed() { return stopped(SMTP_ERR_WRITE, Step::message); }

// Puts the delimiter line that opens a part into `part`, which the part's
// header lines then follow. Part headers are made in wire form: CR LF
// lines, none starting with "." (a fold starts with white space, a file name
// with a control character was refused).
std::string &start_part(std::string &part, std::string_view boundary)
{
    return concat_into(part, "\r\n--", boundary, "\r\n");
}

void tell_part(std::string_view part_headers, std::size_t content_bytes)
{
    if (SessionObserver *observer = session_observer())
        observer->message_part(part_headers, content_bytes);
}

Outcome write_body_part(DataWriter &writer, const BodyText &body, std::string_view boundary, std::string &header)
{
    start_part(header, boundary);
    concat_append(header, "Content-Type: text/plain");
    if (!body.charset.empty())
        concat_append(header, "; charset=", body.charset);
    concat_append(header, "\r\n");
    if (body.quoted)
        concat_append(header, "Content-Transfer-Encoding: quoted-printable\r\n");
    concat_append(header, wire::body_part_description);
    if (!writer.write_wire_lines(header))
        return write_failed();
    std::size_t sent = body.original.size();
    if (!body.quoted) {
        writer.write(body.original);
    } else {
        sent = 0;
        for_each_quoted_piece(body.original, [&](std::string_view piece) {
            sent += piece.size();
            return writer.write(piece);
        });
    }
    if (writer.failed())
        return write_failed();
    // The CR LF of the next boundary line is the delimiter's own: a body
    // that ends its last line already would otherwise gain a blank line.
    if (!body.ends_in_line_break())
        writer.write("\r\n");
    tell_part(header, sent);
    return {};
}

// Streams the encoded copy in chunks, pausing briefly after every second
// read so that a large file does not hog the link. Counts what it sent.
Outcome stream_copy(DataWriter &writer, platform::File &copy, const std::string &path, std::size_t &sent)
{
    char chunk[stream_chunk];
    for (unsigned reads = 1;; ++reads) {
        platform::File::Read got = copy.read(chunk, sizeof chunk);
        if (got.failure)
            return stopped(SMTP_ERR_ATTACH_OPEN, Step::attachment, path, std::move(got.failure.text));
        if (!writer.write(std::string_view(chunk, got.count)))
            return write_failed();
        sent += got.count;
        if (reads % 2 == 0) {
            // The pause paces the link only when what was read is on its way.
            if (!writer.flush())
                return write_failed();
            platform::pause_milliseconds(1);
        }
        if (got.count < sizeof chunk)
            return {};
    }
}

Outcome write_attachment_part(DataWriter &writer, const Attachment &attachment, std::string_view boundary,
                              std::string &header)
{
    platform::OpenedFile opened = platform::open_for_reading(attachment.path);
    if (!opened.file.valid())
        return stopped(SMTP_ERR_ATTACH_OPEN, Step::attachment, attachment.path, std::move(opened.failure.text));
    platform::File source = std::move(opened.file);
    // What is written so far goes out first rather than wait for the
    // encoding.
    if (!writer.flush())
        return write_failed();
    platform::File copy;
    if (Outcome stop = encode_to_copy(source, attachment.path, copy); stop.code != 0)
        return stop;
    source.close();
    start_part(header, boundary);
    concat_append(header, "Content-Type: application/octet-stream", name_parameter(attachment.name), "\r\n",
                  "Content-Transfer-Encoding: base64\r\n", "Content-Disposition: attachment",
                  filename_parameter(attachment.name), "\r\n\r\n");
    if (!writer.write_wire_lines(header))
        return write_failed();
    // Read back through the same handle: the copy is never opened by name,
    // so nobody can put another file in its place.
    std::size_t sent = 0;
    Outcome streamed = stream_copy(writer, copy, attachment.path, sent);
    if (streamed.code == 0)
        tell_part(header, sent);
    return streamed;
}

} // namespace

Outcome write_body_and_attachments(DataWriter &writer, const MessageContent &content)
{
    // One buffer for every part's header lines and the closing delimiter,
    // with room for the usual ones.
    std::string lines;
    lines.reserve(content.boundary.text().size() + 192);
    // A multipart message needs at least one part: without a body and
    // without files, an empty text part stands in.
    if (!content.body.original.empty() || content.attachments.empty()) {
        if (Outcome stop = write_body_part(writer, content.body, content.boundary, lines); stop.code != 0)
            return stop;
    }
    for (const Attachment &attachment : content.attachments) {
        // A dead connection stops the work: no file is read or encoded for it.
        if (writer.failed())
            return write_failed();
        if (Outcome stop = write_attachment_part(writer, attachment, content.boundary, lines); stop.code != 0)
            return stop;
    }
    concat_into(lines, "\r\n--", content.boundary, "--\r\n");
    return writer.write_wire_lines(lines) ? Outcome{} : write_failed();
}

} // namespace lsmtp
