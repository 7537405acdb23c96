// The parts of the socket layer that need no system call.
#include "platform/socket.h"

namespace lsmtp::platform {

int milliseconds_left(Deadline deadline)
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= Deadline::duration::zero())
        return 0;
    // Round up, a part of a millisecond too, so that a wait never ends a
    // little before its deadline.
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1;
}

Socket &Socket::operator=(Socket &&other) noexcept
{
    if (this != &other) {
        close();
        receive_limit = other.receive_limit;
        native_ = other.release();
    }
    return *this;
}

Socket::Native Socket::release()
{
    const Native native = native_;
    native_ = invalid_native;
    receive_limit = std::chrono::milliseconds{0};
    return native;
}

} // namespace lsmtp::platform
