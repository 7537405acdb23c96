#include "submit/result_text.h"

#include "lsmtp.h"
#include "text/text.h"
#include "text/utf8.h"

#include <algorithm>
#include <cstring>

namespace lsmtp {
namespace {

constexpr std::size_t longest_text = LSMTP_RESULT_TEXT_SIZE - 1;
constexpr std::string_view cut_mark = "...";

// The text under construction, in a fixed array: a call that ran out of
// memory is told as well as any other. Pieces go in whole or not at all,
// so a cut never splits a character or an escape.
class Text {
public:
    // Our own wording, ASCII.
    Text &operator<<(std::string_view words)
    {
        for (std::size_t i = 0; i < words.size(); ++i)
            put(words.substr(i, 1));
        return *this;
    }

    // Text from the caller, the system or the server: made readable.
    Text &quoted(std::string_view text)
    {
        for_each_readable(text, [this](std::string_view piece) { put(piece); });
        return *this;
    }

    Text &number(std::size_t value)
    {
        char digits[20];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0)
            put(std::string_view(&digits[--count], 1));
        return *this;
    }

    // A reply's lines, joined by "\n" as they are.
    Text &reply_lines(std::string_view lines)
    {
        for (std::size_t end = lines.find('\n'); end != std::string_view::npos; end = lines.find('\n')) {
            quoted(lines.substr(0, end)) << "\n";
            lines.remove_prefix(end + 1);
        }
        return quoted(lines);
    }

    // The whole text, with "..." where it was cut.
    std::string_view finished()
    {
        if (cut_) {
            size_ = last_fit_before_mark_;
            std::memcpy(bytes_ + size_, cut_mark.data(), cut_mark.size());
            size_ += cut_mark.size();
        }
        return {bytes_, size_};
    }

private:
    void put(std::string_view piece)
    {
        if (cut_ || size_ + piece.size() > longest_text) {
            cut_ = true;
            return;
        }
        std::memcpy(bytes_ + size_, piece.data(), piece.size());
        size_ += piece.size();
        if (size_ + cut_mark.size() <= longest_text)
            last_fit_before_mark_ = size_;
    }

    char bytes_[longest_text];
    std::size_t size_ = 0;
    std::size_t last_fit_before_mark_ = 0;
    bool cut_ = false;
};

// The server as connected, or as little as is known of it.
std::string_view server_of(const Outcome &outcome)
{
    return outcome.server_address.empty() ? std::string_view("the server") : std::string_view(outcome.server_address);
}

// What the failed step sent: "RCPT TO:<b@x.org>", "the message".
void add_exchange(Text &text, const Outcome &outcome)
{
    switch (outcome.step) {
    case Step::greeting: text << "its greeting"; break;
    case Step::helo: text << "HELO " << outcome.subject; break;
    case Step::mail: text << "MAIL FROM:<"; text.quoted(outcome.subject) << ">"; break;
    case Step::rcpt: text << "RCPT TO:<"; text.quoted(outcome.subject) << ">"; break;
    case Step::data: text << "DATA"; break;
    case Step::end_of_data: text << "the end-of-data marker"; break;
    case Step::quit: text << "QUIT"; break;
    default: text << "the message"; break;
    }
}

void add_reply(Text &text, const Outcome &outcome)
{
    if (outcome.server_text.empty())
        text.number(static_cast<std::size_t>(outcome.code));
    else
        text.reply_lines(outcome.server_text);
}

void add_refusal(Text &text, const Outcome &outcome)
{
    text << server_of(outcome);
    if (outcome.step == Step::greeting)
        text << " refused the session in its greeting";
    else if (outcome.step == Step::message)
        text << " refused the message while it was being sent";
    else if (outcome.step == Step::end_of_data)
        text << " refused the message";
    else
        add_exchange(text << " refused ", outcome);
    text << ": ";
    add_reply(text, outcome);
}

void add_waiting_for(Text &text, const Outcome &outcome)
{
    if (outcome.step == Step::greeting) {
        text << "waiting for its greeting";
        return;
    }
    text << "waiting for the reply to ";
    add_exchange(text, outcome);
}

void add_no_connection(Text &text, const Outcome &outcome)
{
    text << "cannot connect to ";
    text.quoted(outcome.subject);
    if (outcome.step != Step::lookup) {
        text << " port 25: ";
        text.quoted(outcome.system_text);
        return;
    }
    text << (outcome.temporary ? ": the name could not be looked up for now ("
                               : ": the name does not resolve to an address (");
    text.quoted(outcome.system_text) << ")";
    if (host_has_port(outcome.subject))
        text << "; the port is always 25: give the host alone";
}

// The system's word on a connection that failed: ": Connection reset by peer".
void add_system_word(Text &text, const Outcome &outcome)
{
    if (!outcome.system_text.empty())
        (text << ": ").quoted(outcome.system_text);
}

// Once the end-of-data marker went out, a server that closed or fell silent
// may have queued the message all the same: a caller who sends it again
// unchecked may deliver it twice.
void add_maybe_delivered(Text &text, const Outcome &outcome)
{
    if (outcome.step == Step::end_of_data)
        text << "; " << server_of(outcome)
             << " may have accepted the message all the same: check before sending it again";
}

void add_text(Text &text, const Outcome &outcome)
{
    const int code = outcome.code;
    if (outcome.accepted()) {
        text << "accepted by " << server_of(outcome);
        if (!outcome.server_text.empty())
            (text << ": ").reply_lines(outcome.server_text);
        return;
    }
    if (code >= 400 && code < SMTP_ERR_CONNECT) {
        add_refusal(text, outcome);
        return;
    }
    switch (code) {
    case SMTP_ERR_CONNECT:
        add_no_connection(text, outcome);
        break;
    case SMTP_ERR_SOCKET:
        text << "no socket could be made to connect to ";
        text.quoted(outcome.subject);
        if (!outcome.system_text.empty())
            (text << " (").quoted(outcome.system_text) << ")";
        break;
    case SMTP_ERR_RECV:
        text << "the connection to " << server_of(outcome) << " was lost ";
        add_waiting_for(text, outcome);
        add_system_word(text, outcome);
        add_maybe_delivered(text, outcome);
        break;
    case SMTP_ERR_REPLY:
        text << server_of(outcome) << " answered ";
        if (outcome.step == Step::greeting)
            text << "the connection";
        else
            add_exchange(text, outcome);
        text << " with an unexpected reply: ";
        if (outcome.server_text.empty())
            text << "not an SMTP reply";
        else
            add_reply(text, outcome);
        break;
    case SMTP_ERR_TIMEOUT:
        text << server_of(outcome) << " gave no complete reply in time ";
        add_waiting_for(text, outcome);
        add_system_word(text, outcome);
        add_maybe_delivered(text, outcome);
        break;
    case SMTP_ERR_ENCODE_CREATE:
        (text << "no encoded copy of attachment '").quoted(outcome.subject) << "' could be made: ";
        text.quoted(outcome.system_text);
        break;
    case SMTP_ERR_ATTACH_OPEN:
        (text << "attachment '").quoted(outcome.subject) << "' cannot be read: ";
        text.quoted(outcome.system_text);
        break;
    case SMTP_ERR_WRITE:
        text << "sending the message to " << server_of(outcome) << " failed, and the server gave no reason";
        add_system_word(text, outcome);
        add_maybe_delivered(text, outcome);
        break;
    case SMTP_ERR_ARGUMENT:
        text << "refused " << outcome.subject;
        if (outcome.item != 0)
            (text << ", item ").number(outcome.item);
        text << ": " << outcome.rule << "; nothing was sent";
        break;
    case SMTP_ERR_MEMORY:
        text << "out of memory; the message was not completed";
        break;
    default:
        (text << "result ").number(static_cast<std::size_t>(code));
        break;
    }
}

} // namespace

void write_result_text(const Outcome &outcome, char *buffer, int size) noexcept
{
    if (buffer == nullptr || size < 1)
        return;
    Text text;
    add_text(text, outcome);
    const std::string_view whole = text.finished();
    const std::size_t keep = utf8_cut(whole, static_cast<std::size_t>(size) - 1);
    std::memcpy(buffer, whole.data(), keep);
    buffer[keep] = '\0';
}

} // namespace lsmtp
