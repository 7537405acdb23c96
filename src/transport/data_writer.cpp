#include "transport/data_writer.h"

#include "base/session_observer.h"
#include "base/wire_text.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace lsmtp {

DataWriter::DataWriter(SmtpSession &session)
    : session_(session), buffer_(std::make_unique_for_overwrite<char[]>(buffer_size))
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

std::size_t DataWriter::put_lines(std::string_view text, std::size_t from)
{
    // The rest of the line goes out as it is, and with it the lines after it
    // for as long as each ends in CR LF and the next starts with no "." and
    // no line break: one copy for all of them.
    std::size_t end = from;
    line_start_ = false;
    for (;;) {
        const std::size_t line_break = find_line_break(text, end);
        if (line_break == std::string_view::npos) {
            end = text.size();
            break;
        }
        if (text[line_break] != '\r' || line_break + 1 == text.size() || text[line_break + 1] != '\n') {
            end = line_break;
            break;
        }
        end = line_break + 2;
        line_start_ = true;
        if (end == text.size() || text[end] == '.' || text[end] == '\r' || text[end] == '\n')
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
        failed_ = !send_bytes(session_, buffer_.get(), used_);
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
