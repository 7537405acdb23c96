#include "transport/data_writer.h"

#include "base/session_observer.h"
#include "base/wire_text.h"

#include <algorithm>
#include <cstring>

namespace lsmtp {

DataWriter::DataWriter(Connection &connection)
    : connection_(connection), buffer_(std::make_unique_for_overwrite<char[]>(buffer_size))
{
}

bool DataWriter::write(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && !failed_) {
        const char c = text[i];
        if (pending_cr_) {
            pending_cr_ = false;
            put("\r\n");
            line_start_ = true;
            if (c == '\n') {
                ++i;
                continue;
            }
        }
        if (c == '\r') {
            pending_cr_ = true;
            ++i;
            continue;
        }
        if (c == '\n') {
            put("\r\n");
            line_start_ = true;
            ++i;
            continue;
        }
        if (line_start_ && c == '.')
            put(".");
        i = put_lines(text, i);
    }
    return !failed_;
}

bool DataWriter::write_wire_lines(std::string_view lines)
{
    if (pending_cr_ || !line_start_)
        return write(lines);
    put(lines);
    return !failed_;
}

std::size_t DataWriter::put_lines(std::string_view text, std::size_t from)
{
    // The rest of the line goes out as it is, and with it the lines after it
    // for as long as each ends in CR LF and the next starts with no "." and
    // no line break: one copy for all of them. Per line, one search for its
    // LF and one for a CR before it, which must be the LF's own.
    const char *const data = text.data();
    const std::size_t size = text.size();
    std::size_t end = from;
    line_start_ = false;
    for (;;) {
        const auto *found = static_cast<const char *>(std::memchr(data + end, '\n', size - end));
        const std::size_t line_feed = found == nullptr ? size : static_cast<std::size_t>(found - data);
        if (const void *cr = std::memchr(data + end, '\r', line_feed - end)) {
            const auto carriage_return = static_cast<std::size_t>(static_cast<const char *>(cr) - data);
            if (carriage_return + 1 != line_feed || line_feed == size) {
                end = carriage_return; // a CR of its own, or one whose LF may come in the next write
                break;
            }
        } else {
            end = line_feed; // a bare LF, or the end of the text
            break;
        }
        end = line_feed + 1;
        line_start_ = true;
        if (end == size || data[end] == '.' || data[end] == '\r' || data[end] == '\n')
            break;
        line_start_ = false;
    }
    put(text.substr(from, end - from));
    return end;
}

bool DataWriter::flush()
{
    // After a failure the connection is useless; nothing more is sent.
    if (!failed_ && used_ > 0) {
        failed_ = !connection_.send_bytes(buffer_.get(), used_);
        if (!failed_)
            report_sent(used_);
    }
    used_ = 0;
    return !failed_;
}

bool DataWriter::finish()
{
    if (pending_cr_) {
        pending_cr_ = false;
        line_start_ = true;
        put("\r\n");
    }
    put(wire::end_of_data);
    return flush();
}

void DataWriter::put(std::string_view bytes)
{
    while (!bytes.empty() && !failed_) {
        const std::size_t taken = std::min(bytes.size(), buffer_size - used_);
        std::memcpy(buffer_.get() + used_, bytes.data(), taken);
        used_ += taken;
        bytes.remove_prefix(taken);
        if (used_ == buffer_size)
            flush();
    }
}

} // namespace lsmtp
