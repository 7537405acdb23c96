#include "platform/file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lsmtp::platform {
namespace {

int fd_of(const File &file) { return static_cast<int>(file.native()); }

CreateError create_error_of(int error)
{
    switch (error) {
    case EEXIST:
    case ELOOP: // a symbolic link at the name: something is there already
        return CreateError::exists;
    case EACCES:
    case EROFS:
    case EPERM:
    case ENOSPC:
    case EDQUOT:
        return CreateError::no_room_or_access;
    default:
        return CreateError::other;
    }
}

} // namespace

long File::read(char *buffer, std::size_t capacity)
{
    if (!valid())
        return -1;
    for (;;) {
        const ssize_t got = ::read(fd_of(*this), buffer, capacity);
        if (got >= 0)
            return static_cast<long>(got);
        if (errno != EINTR)
            return -1;
    }
}

bool File::write(const char *data, std::size_t length)
{
    if (!valid())
        return false;
    while (length > 0) {
        const ssize_t put = ::write(fd_of(*this), data, length);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        // A regular file never takes zero bytes of a non-empty write unless
        // something is wrong; do not spin on it.
        if (put == 0)
            return false;
        data += put;
        length -= static_cast<std::size_t>(put);
    }
    return true;
}

bool File::close()
{
    if (!valid())
        return true;
    const int fd = static_cast<int>(release());
    // Linux releases the descriptor even when close is interrupted, so it is
    // never retried (that could close a descriptor another thread just got);
    // EINTR is not taken for a lost write.
    return ::close(fd) == 0 || errno == EINTR;
}

File open_for_reading(const std::string &path)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer. Only regular
    // files are read: a device or a pipe could feed the encoder forever.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    File file(fd < 0 ? File::invalid_native : static_cast<File::Native>(fd));
    struct stat status {};
    if (!file.valid() || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return File();
    return file;
}

File create_exclusive(const std::string &path, CreateError *why)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    } while (fd < 0 && errno == EINTR);
    const CreateError error = fd < 0 ? create_error_of(errno) : CreateError::none;
    if (why != nullptr)
        *why = error;
    return File(fd < 0 ? File::invalid_native : static_cast<File::Native>(fd));
}

bool remove_file(const std::string &path) { return ::unlink(path.c_str()) == 0; }

std::string temporary_directory()
{
    const char *folder = std::getenv("TMPDIR");
    if (folder == nullptr || *folder == '\0')
        return "/tmp";
    return folder;
}

} // namespace lsmtp::platform
