// The parts of the file layer that need no system call.
#include "platform/file.h"

namespace lsmtp::platform {

File::~File() { close(); }

File &File::operator=(File &&other) noexcept
{
    if (this != &other) {
        close();
        native_ = other.release();
    }
    return *this;
}

File::Native File::release()
{
    const Native native = native_;
    native_ = invalid_native;
    return native;
}

File creation_refused_by_seams(CreateError *why)
{
    if (why != nullptr)
        *why = CreateError::other;
    return File();
}

} // namespace lsmtp::platform
