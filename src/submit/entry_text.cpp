#include "submit/entry_text.h"

#include "encode/charset.h"

namespace lsmtp {

EntryText text_on_entry(const MailArguments &args)
{
    EntryText entry{args, {}};
    MailArguments &taken = entry.args;
    for (const char **text : {&taken.subject, &taken.body, &taken.from_header, &taken.to_header, &taken.cc_header,
                              &taken.bcc_header, &taken.reply_to, &taken.receipt_to, &taken.comments,
                              &taken.mailer, &taken.attachments}) {
        if (*text == nullptr)
            continue;
        if (std::optional<std::string> utf8 = utf8_on_entry(*text))
            *text = entry.converted.emplace_back(std::move(*utf8)).c_str();
    }
    return entry;
}

} // namespace lsmtp
