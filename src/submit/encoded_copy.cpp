#include "submit/encoded_copy.h"

#include "base/session_observer.h"
#include "encode/base64.h"
#include "lsmtp.h"
#include "platform/clock.h"
#include "text/text.h"
#include "text/utf8.h"

#include <algorithm>
#include <cstdint>

namespace lsmtp {
namespace {

// Other names tried beside the attachment when the first is taken.
constexpr int copy_name_attempts = 100;

constexpr std::size_t lines_per_pause = 100;
constexpr std::size_t chunk_bytes = base64_line_bytes * lines_per_pause; // 5,700
constexpr std::size_t chunks_per_block = 4;

struct Filled {
    std::size_t count = 0;
    platform::Failure failure;
};

// Reads until the buffer is full, the source ends or a read fails.
Filled fill(platform::File &source, unsigned char *buffer, std::size_t capacity)
{
    Filled filled;
    while (filled.count < capacity) {
        char *free_space = reinterpret_cast<char *>(buffer) + filled.count;
        platform::File::Read got = source.read(free_space, capacity - filled.count);
        if (got.count == 0) {
            filled.failure = std::move(got.failure);
            break;
        }
        filled.count += got.count;
    }
    return filled;
}

// A private scratch copy in `folder`, under the first free name.
platform::OpenedFile create_in_folder(const std::string &folder, std::string_view stem)
{
    platform::OpenedFile created;
    for (int attempt = 0; attempt < copy_name_attempts; ++attempt) {
        created = platform::create_scratch(folder, encoded_copy_name(stem, attempt));
        if (created.file.valid() || !platform::name_was_taken(created.failure))
            break;
    }
    return created;
}

std::string temporary_folder()
{
    std::string folder = platform::temporary_directory();
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    return folder;
}

} // namespace

Base64Encoding encode_file_base64(platform::File &source, platform::File &destination,
                                const std::function<void(std::size_t)> &on_written)
{
    // Whole chunks of 100 lines per block, so that a pause always falls on a
    // chunk's end. The block's text is written after its last chunk, as a
    // buffered stream would hold it; the pauses keep their place in the
    // sequence of lines.
    unsigned char input[chunk_bytes * chunks_per_block];
    char output[base64_lines_size(sizeof input)];
    for (;;) {
        Filled filled = fill(source, input, sizeof input);
        std::size_t written = 0;
        for (std::size_t offset = 0; offset < filled.count; offset += chunk_bytes) {
            const std::size_t length = std::min(chunk_bytes, filled.count - offset);
            written += encode_base64_lines(input + offset, length, output + written);
            if (length == chunk_bytes)
                platform::pause_milliseconds(1);
        }
        if (platform::Failure failed = destination.write(output, written))
            return {Base64Result::write_failed, std::move(failed)};
        if (on_written)
            on_written(written);
        if (filled.failure)
            return {Base64Result::read_failed, std::move(filled.failure)};
        if (filled.count < sizeof input)
            return {};
    }
}

std::string encoded_copy_name(std::string_view stem, int attempt)
{
    const std::string suffix = attempt > 0 ? concat("-", std::to_string(attempt), ".b64") : std::string(".b64");
    std::string name(stem.substr(0, utf8_cut(stem, platform::max_file_name_bytes - suffix.size())));
    return name += suffix;
}

Outcome encode_to_copy(platform::File &source, const std::string &path, platform::File &copy)
{
    const auto unreadable = [&](std::string why) {
        return stopped(SMTP_ERR_ATTACH_OPEN, Step::attachment, path, std::move(why));
    };
    const std::string_view base = path_base_name(path);
    const std::string_view stem = base.substr(0, base.find('.'));
    // Without its size the file is sent as read.
    const platform::File::Offset size_at_open = source.size();
    // Each folder tried and what the system said there.
    std::string create_failures;
    const auto failed_in = [&create_failures](std::string_view folder, std::string_view said) {
        concat_append(create_failures, create_failures.empty() ? "" : "; ", folder.empty() ? "." : folder, ": ", said);
    };
    for (const std::string &folder : {path.substr(0, path.size() - base.size()), temporary_folder()}) {
        platform::OpenedFile created = create_in_folder(folder, stem);
        copy = std::move(created.file);
        if (!copy.valid()) {
            failed_in(folder, created.failure.text);
            continue;
        }
        if (platform::Failure failed = source.rewind())
            return unreadable(std::move(failed.text));
        Base64Encoding encoding = encode_file_base64(source, copy, report_encoded);
        if (encoding.result == Base64Result::read_failed)
            return unreadable(std::move(encoding.failure.text));
        if (encoding.result == Base64Result::ok) {
            // A file that shrank while it was read would go out torn; one
            // that grew is sent as read.
            platform::File::Offset read = source.position();
            if (read.failure)
                return unreadable(std::move(read.failure.text));
            if (!size_at_open.failure && read.bytes < size_at_open.bytes)
                return unreadable("the file shrank while it was read");
            platform::Failure failed = copy.rewind();
            if (!failed)
                return {};
            return stopped(SMTP_ERR_ENCODE_CREATE, Step::attachment, path, std::move(failed.text));
        }
        // A failed write: the folder filled up; the next one may have room.
        failed_in(folder, encoding.failure.text);
    }
    copy = platform::File();
    return stopped(SMTP_ERR_ENCODE_CREATE, Step::attachment, path, std::move(create_failures));
}

} // namespace lsmtp
