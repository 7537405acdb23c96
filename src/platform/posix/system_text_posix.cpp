#include "platform/system_text.h"

#include <cerrno>
#include <system_error>

namespace lsmtp::platform {

// POSIX has no process-wide code page worth trusting (the locale is the
// host's business, not ours): bytes stay as the caller gave them.
std::optional<std::string> system_text_to_utf8(std::string_view) { return std::nullopt; }

std::string last_error_text() { return std::generic_category().message(errno); }

} // namespace lsmtp::platform
