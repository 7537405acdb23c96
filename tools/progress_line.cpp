#include "progress_line.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace {

constexpr double megabyte = 1e6;
constexpr double estimate_after = 1.0; // seconds

std::string megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / megabyte);
    return text;
}

std::string clock_text(double seconds)
{
    const auto whole = static_cast<unsigned long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lu:%02lu:%02lu", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%lu:%02lu", whole / 60, whole % 60);
    return text;
}

} // namespace

bool progress_wanted(bool stderr_is_terminal, bool quiet, std::uint64_t attachment_bytes)
{
    return stderr_is_terminal && !quiet && attachment_bytes >= progress_threshold;
}

std::uint64_t base64_size(std::uint64_t file_bytes)
{
    constexpr std::uint64_t line_bytes = 57;
    const std::uint64_t lines = (file_bytes + line_bytes - 1) / line_bytes;
    return (file_bytes + 2) / 3 * 4 + 2 * lines;
}

std::string format_progress(const Progress &progress)
{
    // Headers and line-end repairs make the message a little larger than
    // expected; the total grows with it rather than be overtaken.
    const std::uint64_t total = std::max({progress.total, progress.sent, progress.encoded});
    std::string text = "encoded " + megabytes(progress.encoded) + " MB, sent " + megabytes(progress.sent) + " of " +
                       megabytes(total) + " MB";
    if (progress.seconds <= 0)
        return text;
    char rate[32];
    std::snprintf(rate, sizeof rate, ", %.1f MB/s", static_cast<double>(progress.sent) / megabyte / progress.seconds);
    text += rate;
    const double done = total == 0 ? 1.0
                                   : static_cast<double>(progress.encoded + progress.sent) / (2.0 * static_cast<double>(total));
    // The first moments (connection, headers) say nothing of the pace.
    if (done > 0 && progress.seconds >= estimate_after)
        text += ", " + clock_text(progress.seconds * (1 - std::min(done, 1.0)) / done) + " left";
    return text;
}

ProgressLine::ProgressLine(std::ostream &out, std::uint64_t total, std::function<double()> now)
    : out_(out), now_(std::move(now))
{
    progress_.total = total;
}

void ProgressLine::encoded(std::size_t bytes)
{
    progress_.encoded += bytes;
    redraw_if_due();
}

void ProgressLine::sent(std::size_t bytes)
{
    progress_.sent += bytes;
    redraw_if_due();
}

void ProgressLine::finish()
{
    progress_.seconds = now_();
    draw();
    out_ << '\n' << std::flush;
}

void ProgressLine::redraw_if_due()
{
    progress_.seconds = now_();
    if (progress_.seconds - drawn_at_ < redraw_interval)
        return;
    drawn_at_ = progress_.seconds;
    draw();
}

void ProgressLine::draw()
{
    std::string line = "lsmtp-send: " + format_progress(progress_);
    const std::size_t width = line.size();
    // Blanks over whatever a longer line before left behind.
    if (width < drawn_width_)
        line.append(drawn_width_ - width, ' ');
    drawn_width_ = width;
    out_ << '\r' << line << std::flush;
}
