#include "submit/data_writer.h"

namespace lsmtp {

bool DataWriter::write(std::string_view text)
{
    out_.clear();
    out_.reserve(text.size() + text.size() / 32 + 4);
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (pending_cr_) {
            pending_cr_ = false;
            out_ += "\r\n";
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
            out_ += "\r\n";
            line_start_ = true;
            ++i;
            continue;
        }
        if (line_start_ && c == '.')
            out_ += '.';
        // The rest of the line goes out as it is.
        std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos)
            end = text.size();
        out_.append(text.substr(i, end - i));
        line_start_ = false;
        i = end;
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
