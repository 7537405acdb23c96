// The progress line lsmtp-send draws on a terminal while large attachments
// are encoded and sent.
#pragma once

#include "base/session_observer.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

// Attachments smaller than this together go out too fast to need a line.
inline constexpr std::uint64_t progress_threshold = 1024 * 1024;

// Whether to draw the line at all.
bool progress_wanted(bool stderr_is_terminal, bool quiet, std::uint64_t attachment_bytes);

// The size of a file's base64 copy: 4 characters per 3 bytes, and CR LF
// after every line of 76.
std::uint64_t base64_size(std::uint64_t file_bytes);

struct Progress {
    std::uint64_t encoded = 0; // characters of encoded copies written
    std::uint64_t sent = 0;    // message bytes handed to the connection
    std::uint64_t total = 0;   // expected message bytes: body and encoded copies
    double seconds = 0;        // since the call began
};

// One line of text, e.g. "encoded 40.0 MB, sent 12.0 of 68.9 MB, 4.0 MB/s,
// 0:11 left". The time left assumes the rest of the work (encoding and
// sending count alike) goes at the pace of the work done so far.
std::string format_progress(const Progress &progress);

// Redraws the line in place (carriage return) as the library reports, at
// most every `redraw_interval` seconds; finish() draws the last state and
// ends the line.
class ProgressLine final : public lsmtp::SessionObserver {
public:
    static constexpr double redraw_interval = 0.25;

    // `now` gives the seconds since the call began.
    ProgressLine(std::ostream &out, std::uint64_t total, std::function<double()> now);
    void encoded(std::size_t bytes) override;
    void sent(std::size_t bytes) override;
    void finish();

private:
    void redraw_if_due();
    void draw();

    std::ostream &out_;
    std::function<double()> now_;
    Progress progress_;
    double drawn_at_ = -redraw_interval;
    std::size_t drawn_width_ = 0;
};
