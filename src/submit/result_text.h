// The text of a call's result: one wording for every outcome, made in the
// library, which lsmtp_send_mail_ex hands back and lsmtp-send prints.
#pragma once

#include "base/outcome.h"

namespace lsmtp {

// Writes the text of `outcome` into `buffer` as UTF-8 with its terminating
// NUL: at most `size` bytes, cut at a character boundary. The text is never
// longer than LSMTP_RESULT_TEXT_SIZE - 1 bytes (a longer one is cut and
// ends in "..."). Nothing is written for a null buffer or a size below 1.
// Allocates nothing, so that running out of memory can be told too.
void write_result_text(const Outcome &outcome, char *buffer, int size) noexcept;

} // namespace lsmtp
