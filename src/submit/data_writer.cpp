#include "submit/data_writer.h"

namespace lsmtp {

bool DataWriter::write(std::string_view text)
{
    out_.clear();
    out_.reserve(text.size() + text.size() / 32 + 4);
    for (const char c : text) {
        if (pending_cr_) {
            pending_cr_ = false;
            out_ += "\r\n";
            line_start_ = true;
            if (c == '\n')
                continue;
        }
        if (c == '\r') {
            pending_cr_ = true;
            continue;
        }
        if (c == '\n') {
            out_ += "\r\n";
            line_start_ = true;
            continue;
        }
        if (line_start_ && c == '.')
            out_ += '.';
        out_ += c;
        line_start_ = false;
    }
    return send(out_);
}

bool DataWriter::finish()
{
    if (pending_cr_) {
        pending_cr_ = false;
        line_start_ = true;
        return send("\r\n");
    }
    return !failed_;
}

bool DataWriter::send(const std::string &bytes)
{
    // After a failure the connection is useless; nothing more is sent.
    if (!failed_ && !bytes.empty() && !send_text(session_, bytes))
        failed_ = true;
    return !failed_;
}

} // namespace lsmtp
