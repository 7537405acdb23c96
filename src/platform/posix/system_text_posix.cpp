#include "platform/failure.h"
#include "platform/system_text.h"

#include <cerrno>
#include <system_error>

namespace lsmtp::platform {

// POSIX has no process-wide code page worth trusting (the locale is the
// host's business, not ours): bytes stay as the caller gave them.
std::optional<std::string> system_text_to_utf8(std::string_view) { return std::nullopt; }

Failure failure_of(int code) { return {.code = code, .text = std::generic_category().message(code)}; }

Failure last_failure() { return failure_of(errno); }

Failure refused_by_seams() { return failure_of(EACCES); }

Failure not_open() { return failure_of(EBADF); }

Failure timed_out() { return failure_of(ETIMEDOUT); }

} // namespace lsmtp::platform
