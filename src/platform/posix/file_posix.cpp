#include "platform/file.h"
#include "platform/seams.h"

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

// A new file, never one that is there already, nor the target of a link.
constexpr int new_file_flags = O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

int open_retrying(const char *path, int flags)
{
    int fd;
    do {
        fd = ::open(path, flags, S_IRUSR | S_IWUSR);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The file for a descriptor just created (or -1 with errno set), and why
// the creation failed.
File created(int fd, CreateError *why)
{
    const CreateError error = fd < 0 ? create_error_of(errno) : CreateError::none;
    if (why != nullptr)
        *why = error;
    return File(fd < 0 ? File::invalid_native : static_cast<File::Native>(fd));
}

} // namespace

long File::read(char *buffer, std::size_t capacity)
{
    if (!valid() || !call_allowed_by_seams(Call::read))
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
    if (!valid() || !call_allowed_by_seams(Call::write))
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

bool File::rewind() { return valid() && call_allowed_by_seams(Call::position) && ::lseek(fd_of(*this), 0, SEEK_SET) == 0; }

std::int64_t File::size() const
{
    struct stat status {};
    return valid() && call_allowed_by_seams(Call::position) && fstat(fd_of(*this), &status) == 0 ? static_cast<std::int64_t>(status.st_size) : -1;
}

std::int64_t File::position() const
{
    return valid() && call_allowed_by_seams(Call::position) ? ::lseek(fd_of(*this), 0, SEEK_CUR) : -1;
}

bool File::close()
{
    if (!valid())
        return true;
    const int fd = static_cast<int>(release());
    // Linux releases the descriptor even when close is interrupted, so it is
    // never retried (that could close a descriptor another thread just got);
    // EINTR is not taken for a lost write.
    const bool closed = ::close(fd) == 0 || errno == EINTR;
    return call_allowed_by_seams(Call::close) && closed;
}

File open_for_reading(const std::string &path)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer. Only regular
    // files are read: a device or a pipe could feed the encoder forever.
    if (!call_allowed_by_seams(Call::open))
        return File();
    const int fd = open_retrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    File file(fd < 0 ? File::invalid_native : static_cast<File::Native>(fd));
    struct stat status {};
    if (!file.valid() || fstat(fd, &status) != 0)
        return File();
    if (!S_ISREG(status.st_mode)) {
        file.close();
        errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;  // the caller's word for it
        return File();
    }
    return file;
}

File create_exclusive(const std::string &path, CreateError *why)
{
    if (!call_allowed_by_seams(Call::create))
        return creation_refused_by_seams(why);
    return created(open_retrying(path.c_str(), O_WRONLY | new_file_flags), why);
}

File create_scratch(const std::string &folder, const std::string &name, CreateError *why)
{
    if (!call_allowed_by_seams(Call::create))
        return creation_refused_by_seams(why);
    // Without a name, nobody can open, replace or find the file, and it is
    // gone when its last descriptor closes.
    errno = EOPNOTSUPP;
    const int unnamed = call_allowed_by_seams(Call::unnamed)
                            ? open_retrying(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC)
                            : -1;
    // EOPNOTSUPP: the file system has no unnamed files; EISDIR: the kernel
    // has none.
    if (unnamed >= 0 || (errno != EOPNOTSUPP && errno != EISDIR))
        return created(unnamed, why);
    const std::string path = folder + name;
    File file = created(open_retrying(path.c_str(), O_RDWR | new_file_flags), why);
    // The name lived only until now; a file that cannot be unlinked is not
    // private, so it is not used.
    if (file.valid() && (::unlink(path.c_str()) != 0 || !call_allowed_by_seams(Call::remove))) {
        if (why != nullptr)
            *why = CreateError::other;
        return File();
    }
    return file;
}

std::string temporary_directory()
{
    const char *folder = std::getenv("TMPDIR");
    if (folder == nullptr || *folder == '\0')
        return "/tmp";
    return folder;
}

} // namespace lsmtp::platform
