#include "submit/message_parts.h"

#include "encode/base64.h"
#include "encode/mime_parameter.h"
#include "lsmtp.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "submit/arguments.h"
#include "submit/progress.h"
#include "text/text.h"

#include <algorithm>
#include <cstdint>

namespace lsmtp {
namespace {

constexpr std::size_t stream_chunk = 4096;
// Other names tried beside the attachment when the first is taken.
constexpr int copy_name_attempts = 100;

std::string boundary_line(std::string_view boundary)
{
    std::string line;
    return concat_into(line, "\r\n--", boundary, "\r\n");
}

// A private scratch copy in `folder`, under the first free name.
platform::File create_in_folder(const std::string &folder, std::string_view stem, platform::CreateError &why)
{
    for (int attempt = 0; attempt < copy_name_attempts; ++attempt) {
        platform::File file = platform::create_scratch(folder, encoded_copy_name(stem, attempt), &why);
        if (file.valid() || why != platform::CreateError::exists)
            return file;
    }
    return {};
}

std::string temporary_folder()
{
    std::string folder = platform::temporary_directory();
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    return folder;
}

// Encodes the source whole into a private copy beside it, or in the
// temporary folder when its own folder cannot take the copy (read-only,
// full, or every name taken). The copy is encoded before its part starts,
// so a file that cannot be read fails before any byte of its part is sent.
// Returns 0 with `copy` at its start, or the code that ends the message.
int encode_to_copy(platform::File &source, const std::string &path, platform::File &copy)
{
    const std::string_view base = path_base_name(path);
    const std::string_view stem = base.substr(0, base.find('.'));
    const std::int64_t size_at_open = source.size();
    for (const std::string &folder : {path.substr(0, path.size() - base.size()), temporary_folder()}) {
        platform::CreateError why = platform::CreateError::none;
        copy = create_in_folder(folder, stem, why);
        if (!copy.valid())
            continue;
        if (!source.rewind())
            return SMTP_ERR_ATTACH_OPEN;
        const Base64Result result = encode_file_base64(source, copy, report_encoded);
        if (result == Base64Result::read_failed)
            return SMTP_ERR_ATTACH_OPEN;
        if (result == Base64Result::ok) {
            // A file that shrank while it was read would go out torn; one
            // that grew is sent as read.
            if (source.position() < size_at_open)
                return SMTP_ERR_ATTACH_OPEN;
            return copy.rewind() ? 0 : SMTP_ERR_ENCODE_CREATE;
        }
        // A failed write: the folder filled up; the next one may have room.
    }
    copy = platform::File();
    return SMTP_ERR_ENCODE_CREATE;
}

int write_body_part(DataWriter &writer, const BodyText &body, std::string_view boundary)
{
    std::string header = boundary_line(boundary);
    concat_append(header, "Content-Type: text/plain");
    if (!body.charset.empty())
        concat_append(header, "; charset=", body.charset);
    concat_append(header, "\r\n");
    if (body.quoted)
        concat_append(header, "Content-Transfer-Encoding: quoted-printable\r\n");
    concat_append(header, "Content-description: Body of message\r\n\r\n");
    if (!writer.write(header) || !writer.write(body.wire()))
        return SMTP_ERR_WRITE;
    writer.write("\r\n");
    return 0;
}

// Streams the encoded copy in chunks, pausing briefly after every second
// read so that a large file does not hog the link.
int stream_copy(DataWriter &writer, platform::File &copy)
{
    char chunk[stream_chunk];
    for (unsigned reads = 1;; ++reads) {
        const long got = copy.read(chunk, sizeof chunk);
        if (got < 0)
            return SMTP_ERR_ATTACH_OPEN;
        if (!writer.write(std::string_view(chunk, static_cast<std::size_t>(got))))
            return SMTP_ERR_WRITE;
        if (reads % 2 == 0) {
            // The pause paces the link only when what was read is on its way.
            if (!writer.flush())
                return SMTP_ERR_WRITE;
            platform::pause_milliseconds(1);
        }
        if (static_cast<std::size_t>(got) < sizeof chunk)
            return 0;
    }
}

int write_attachment_part(DataWriter &writer, const std::string &path, std::string_view name,
                          std::string_view boundary)
{
    platform::File source = platform::open_for_reading(path);
    if (!source.valid())
        return SMTP_ERR_ATTACH_OPEN;
    // What is written so far goes out first rather than wait for the
    // encoding.
    if (!writer.flush())
        return SMTP_ERR_WRITE;
    platform::File copy;
    if (int stop = encode_to_copy(source, path, copy))
        return stop;
    source.close();
    std::string header = boundary_line(boundary);
    concat_append(header, "Content-Type: application/octet-stream", name_parameter(name), "\r\n",
                  "Content-Transfer-Encoding: base64\r\n", "Content-Disposition: attachment",
                  filename_parameter(name), "\r\n\r\n");
    if (!writer.write(header))
        return SMTP_ERR_WRITE;
    // Read back through the same handle: the copy is never opened by name,
    // so nobody can put another file in its place.
    return stream_copy(writer, copy);
}

} // namespace

std::vector<std::string> attachment_paths(const char *attachments)
{
    std::vector<std::string> paths;
    if (!given(attachments))
        return paths;
    for (std::string_view piece : split_address_list(attachments))
        paths.emplace_back(piece);
    return paths;
}

int check_attachments(const std::vector<std::string> &paths)
{
    for (const std::string &path : paths) {
        if (!platform::open_for_reading(path).valid())
            return SMTP_ERR_ATTACH_OPEN;
    }
    return 0;
}

std::string encoded_copy_name(std::string_view stem, int attempt)
{
    const std::string suffix = attempt > 0 ? concat("-", std::to_string(attempt), ".b64") : std::string(".b64");
    std::size_t keep = std::min(stem.size(), platform::max_file_name_bytes - suffix.size());
    // Cut between characters: a UTF-8 continuation byte stays with its lead.
    while (keep > 0 && keep < stem.size() && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
        --keep;
    std::string name(stem.substr(0, keep));
    return name += suffix;
}

std::vector<std::string> attachment_names(const std::vector<std::string> &paths, const char *entry_text)
{
    std::vector<std::string> names;
    const std::vector<std::string> converted = attachment_paths(entry_text);
    // The converted list splits as the caller's does (no code page puts ","
    // or ";" inside a character); should it not, the names come from the
    // caller's bytes.
    const std::vector<std::string> &source = converted.size() == paths.size() ? converted : paths;
    for (const std::string &path : source)
        names.emplace_back(path_base_name(path));
    return names;
}

int write_body_and_attachments(DataWriter &writer, const MessageContent &content)
{
    // A multipart message needs at least one part: without a body and
    // without files, an empty text part stands in.
    if (!content.body.original.empty() || content.paths.empty()) {
        if (int stop = write_body_part(writer, content.body, content.boundary))
            return stop;
    }
    for (std::size_t i = 0; i < content.paths.size(); ++i) {
        // A dead connection stops the work: no file is read or encoded for it.
        if (writer.failed())
            return SMTP_ERR_WRITE;
        if (int stop = write_attachment_part(writer, content.paths[i], content.names[i], content.boundary))
            return stop;
    }
    std::string closing;
    writer.write(concat_into(closing, "\r\n--", content.boundary, "--\r\n"));
    return writer.failed() ? SMTP_ERR_WRITE : 0;
}

} // namespace lsmtp
