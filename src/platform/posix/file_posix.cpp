#include "platform/backend.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lsmtp::platform {
namespace {

int fd_of(File::Native file) { return static_cast<int>(file); }

// A new file, never one that is there already, nor the target of a link.
constexpr int new_file_flags = O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

// The file for a descriptor just opened, or the failure that left none.
OpenedFile opened(int fd)
{
    if (fd < 0)
        return {File(), last_failure()};
    return {File(static_cast<File::Native>(fd)), {}};
}

OpenedFile open_retrying(const char *path, int flags)
{
    int fd;
    do {
        fd = ::open(path, flags, S_IRUSR | S_IWUSR);
    } while (fd < 0 && errno == EINTR);
    return opened(fd);
}

} // namespace

File::Read backend::read_file(File::Native file, char *buffer, std::size_t capacity)
{
    for (;;) {
        const ssize_t got = ::read(fd_of(file), buffer, capacity);
        if (got >= 0)
            return {static_cast<std::size_t>(got), {}};
        if (errno != EINTR)
            return {0, last_failure()};
    }
}

Failure backend::write_file(File::Native file, const char *data, std::size_t length)
{
    while (length > 0) {
        const ssize_t put = ::write(fd_of(file), data, length);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return last_failure();
        }
        // A regular file never takes zero bytes of a non-empty write unless
        // something is wrong; do not spin on it.
        if (put == 0)
            return failure_of(EIO);
        data += put;
        length -= static_cast<std::size_t>(put);
    }
    return {};
}

Failure backend::rewind_file(File::Native file)
{
    return ::lseek(fd_of(file), 0, SEEK_SET) == 0 ? Failure{} : last_failure();
}

File::Offset backend::file_size(File::Native file)
{
    struct stat status {};
    if (fstat(fd_of(file), &status) != 0)
        return {0, last_failure()};
    return {static_cast<std::int64_t>(status.st_size), {}};
}

File::Offset backend::file_position(File::Native file)
{
    const off_t at = ::lseek(fd_of(file), 0, SEEK_CUR);
    if (at < 0)
        return {0, last_failure()};
    return {static_cast<std::int64_t>(at), {}};
}

Failure backend::close_file(File::Native file)
{
    // Linux releases the descriptor even when close is interrupted, so it is
    // never retried (that could close a descriptor another thread just got);
    // EINTR is not taken for a lost write.
    if (::close(fd_of(file)) == 0 || errno == EINTR)
        return {};
    return last_failure();
}

OpenedFile backend::open_for_reading(const std::string &path)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer. Only regular
    // files are read: a device or a pipe could feed the encoder forever.
    OpenedFile opening = open_retrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    if (!opening.file.valid())
        return opening;
    if (fstat(fd_of(opening.file.native()), &status) != 0)
        return {File(), last_failure()};
    if (!S_ISREG(status.st_mode))
        return {File(), failure_of(S_ISDIR(status.st_mode) ? EISDIR : EINVAL)};
    return opening;
}

OpenedFile backend::create_unnamed(const std::string &folder)
{
    return open_retrying(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC);
}

// EOPNOTSUPP: the file system has no unnamed files; EISDIR: the kernel has
// none.
bool backend::unnamed_unsupported(const Failure &failure)
{
    return failure.code == EOPNOTSUPP || failure.code == EISDIR;
}

OpenedFile backend::create_private(const std::string &path)
{
    return open_retrying(path.c_str(), O_RDWR | new_file_flags);
}

Failure backend::remove_name(const std::string &path)
{
    return ::unlink(path.c_str()) == 0 ? Failure{} : last_failure();
}

// A symbolic link at the name is something there already.
bool name_was_taken(const Failure &failure) { return failure.code == EEXIST || failure.code == ELOOP; }

std::string temporary_directory()
{
    const char *folder = std::getenv("TMPDIR");
    if (folder == nullptr || *folder == '\0')
        return "/tmp";
    return folder;
}

} // namespace lsmtp::platform
