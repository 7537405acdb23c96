// The parts of the socket layer that need no system call.
#include "platform/socket.h"

namespace lsmtp::platform {

int milliseconds_left(Deadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return 0;
    // Round up so that a wait never ends a little before its deadline.
    return static_cast<int>(left.count()) + 1;
}

Socket &Socket::operator=(Socket &&other) noexcept
{
    if (this != &other) {
        close();
        native_ = other.release();
    }
    return *this;
}

Socket::Native Socket::release()
{
    const Native native = native_;
    native_ = invalid_native;
    return native;
}

} // namespace lsmtp::platform
