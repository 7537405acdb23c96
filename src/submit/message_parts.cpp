#include "submit/message_parts.h"

#include "encode/base64.h"
#include "encode/quoted_printable.h"
#include "lsmtp.h"
#include "platform/clock.h"
#include "submit/arguments.h"
#include "submit/header_block.h"
#include "text/text.h"

#include <cstring>

namespace lsmtp {
namespace {

constexpr std::size_t stream_chunk = 4096;
// Other names tried beside the attachment when the first is taken.
constexpr int copy_name_attempts = 100;

std::string boundary_line() { return std::string("\r\n--") + message_boundary + "\r\n"; }

bool is_token_char(unsigned char c)
{
    return c > 32 && c < 127 && std::strchr("()<>@,;:\\\"/[]?=", c) == nullptr;
}

// Removes the encoded copy when the part is done, whatever happened.
struct RemoveOnExit {
    std::string path;
    ~RemoveOnExit()
    {
        if (!path.empty())
            platform::remove_file(path);
    }
};

// Tries "<stem>.b64", then "<stem>-1.b64" and so on in one folder.
platform::File create_in_folder(const std::string &folder, std::string_view stem, std::string &copy_path,
                                platform::CreateError &why)
{
    for (int attempt = 0; attempt < copy_name_attempts; ++attempt) {
        concat_into(copy_path, folder, stem);
        if (attempt > 0)
            concat_append(copy_path, "-", std::to_string(attempt));
        concat_append(copy_path, ".b64");
        platform::File file = platform::create_exclusive(copy_path, &why);
        if (file.valid() || why != platform::CreateError::exists)
            return file;
    }
    return {};
}

int write_body_part(DataWriter &writer, const char *body)
{
    const std::string_view text = body == nullptr ? std::string_view() : body;
    // Lines longer than SMTP carries are sent quoted-printable; everything
    // else goes as the caller wrote it.
    const bool quoted = has_overlong_line(text);
    std::string header = boundary_line();
    concat_append(header, "Content-Type: text/plain\r\n");
    if (quoted)
        concat_append(header, "Content-Transfer-Encoding: quoted-printable\r\n");
    concat_append(header, "Content-description: Body of message\r\n\r\n");
    if (!writer.write(header) || !(quoted ? writer.write(encode_quoted_printable(text)) : writer.write(text)))
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
        if (reads % 2 == 0)
            platform::pause_milliseconds(1);
        if (static_cast<std::size_t>(got) < sizeof chunk)
            return 0;
    }
}

int write_attachment_part(DataWriter &writer, const std::string &path)
{
    platform::File source = platform::open_for_reading(path);
    if (!source.valid())
        return SMTP_ERR_ATTACH_OPEN;
    // The copy is encoded whole before its part starts, so a file that
    // cannot be read fails before any byte of its part is sent.
    RemoveOnExit copy;
    platform::File encoded = create_encoded_copy(path, copy.path);
    if (!encoded.valid())
        return SMTP_ERR_ENCODE_CREATE;
    const Base64Result result = encode_file_base64(source, encoded);
    source.close();
    const bool closed = encoded.close();
    if (result == Base64Result::read_failed)
        return SMTP_ERR_ATTACH_OPEN;
    if (result == Base64Result::write_failed || !closed)
        return SMTP_ERR_ENCODE_CREATE;

    platform::File reader = platform::open_for_reading(copy.path);
    if (!reader.valid())
        return SMTP_ERR_ATTACH_OPEN;
    const std::string name = mime_parameter_value(path_base_name(path));
    std::string header = boundary_line();
    concat_append(header, "Content-Type: application/octet-stream; name=", name, "\r\n",
                  "Content-Transfer-Encoding: base64\r\n", "Content-Disposition: attachment; filename=", name,
                  "\r\n\r\n");
    if (!writer.write(header))
        return SMTP_ERR_WRITE;
    return stream_copy(writer, reader);
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

std::string mime_parameter_value(std::string_view text)
{
    bool token = !text.empty();
    for (const char c : text)
        token = token && is_token_char(static_cast<unsigned char>(c));
    if (token)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted += '"';
}

platform::File create_encoded_copy(const std::string &attachment, std::string &copy_path)
{
    const std::string_view base = path_base_name(attachment);
    const std::string folder = attachment.substr(0, attachment.size() - base.size());
    const std::string_view stem = base.substr(0, base.find('.'));

    platform::CreateError why = platform::CreateError::none;
    platform::File file = create_in_folder(folder, stem, copy_path, why);
    if (file.valid())
        return file;
    // Read-only media, a full disk or too many names taken: the temporary
    // folder keeps the copy instead.
    std::string temporary = platform::temporary_directory();
    if (!temporary.empty() && temporary.back() != '/' && temporary.back() != '\\')
        temporary += '/';
    file = create_in_folder(temporary, stem, copy_path, why);
    if (!file.valid())
        copy_path.clear();
    return file;
}

int write_body_and_attachments(DataWriter &writer, const char *body, const std::vector<std::string> &paths)
{
    // A multipart message needs at least one part: without a body and
    // without files, an empty text part stands in.
    if (given(body) || paths.empty()) {
        if (int stop = write_body_part(writer, body))
            return stop;
    }
    for (const std::string &path : paths) {
        // A dead connection stops the work: no file is read or encoded for it.
        if (writer.failed())
            return SMTP_ERR_WRITE;
        if (int stop = write_attachment_part(writer, path))
            return stop;
    }
    std::string closing;
    writer.write(concat_into(closing, "\r\n--", message_boundary, "--\r\n"));
    return writer.failed() ? SMTP_ERR_WRITE : 0;
}

} // namespace lsmtp
