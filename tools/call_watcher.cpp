#include "call_watcher.h"

#include <ostream>

void CallWatcher::encoded(std::size_t bytes)
{
    if (progress_)
        progress_->encoded(bytes);
}

void CallWatcher::sent(std::size_t bytes)
{
    if (progress_)
        progress_->sent(bytes);
}

void CallWatcher::command(std::string_view line)
{
    if (transcript_)
        write_lines("> ", line);
}

void CallWatcher::reply(std::string_view text)
{
    if (transcript_)
        write_lines("< ", text);
}

void CallWatcher::message_headers(std::string_view header_block)
{
    if (transcript_)
        write_lines("> ", header_block);
}

void CallWatcher::message_part(std::string_view part_headers, std::size_t content_bytes)
{
    if (!transcript_)
        return;
    write_lines("> ", part_headers);
    *transcript_ << "> (" << content_bytes << " bytes of content)\n" << std::flush;
}

void CallWatcher::finished(const lsmtp::Outcome &outcome) { outcome_ = outcome; }

// Each line of `text` (ended by LF or CR LF) after `prefix`; the end of the
// last line needs no line end of its own.
void CallWatcher::write_lines(std::string_view prefix, std::string_view text)
{
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        *transcript_ << (line.empty() ? prefix.substr(0, 1) : prefix) << line << '\n';
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    *transcript_ << std::flush;
}
