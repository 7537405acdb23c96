// The caller's texts as the message takes them.
#pragma once

#include "submit/arguments.h"

#include <deque>
#include <string>

namespace lsmtp {

struct EntryText {
    MailArguments args;
    std::deque<std::string> converted; // the texts `args` points to when converted
};

// The arguments with every text for the message (subject, body, header
// values, attachment names) converted once by utf8_on_entry: on Windows,
// text in the ANSI code page becomes UTF-8. The envelope addresses
// (from_addr and the lists) stay as given.
EntryText text_on_entry(const MailArguments &args);

} // namespace lsmtp
