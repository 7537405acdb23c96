// Hears lsmtp-send's one call: keeps the outcome for the exit status, and
// with --verbose writes the dialogue as it happens: "> " before what was sent, "< " before what the server said, and
// the message summarised (its header lines, then each part's headers and
// the size of its content, never the content itself).
#pragma once

#include "base/session_observer.h"

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

class CallWatcher final : public lsmtp::SessionObserver {
public:
    // `transcript` receives the dialogue; null for none.
    explicit CallWatcher(std::ostream *transcript) : transcript_(transcript) {}

    void command(std::string_view line) override;
    void reply(std::string_view text) override;
    void message_headers(std::string_view header_block) override;
    void message_part(std::string_view part_headers, std::size_t content_bytes) override;
    void encoded(std::size_t bytes) override;
    void sent(std::size_t bytes) override;
    void finished(const lsmtp::Outcome &outcome) override;

    // Hands the call's progress on to `progress` (the progress line).
    void forward_progress(lsmtp::SessionObserver *progress) { progress_ = progress; }

    // What the call came to, once the library has told it.
    const std::optional<lsmtp::Outcome> &outcome() const { return outcome_; }

private:
    void write_lines(std::string_view prefix, std::string_view text);

    std::ostream *transcript_;
    lsmtp::SessionObserver *progress_ = nullptr;
    std::optional<lsmtp::Outcome> outcome_;
};
