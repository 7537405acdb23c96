// The file layer's front: the test seams are consulted here, once for
// every platform, before the system's calls in posix/ or win32/.
#include "platform/file.h"

#include "platform/backend.h"
#include "platform/seams.h"

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

File::Read File::read(char *buffer, std::size_t capacity)
{
    if (!valid())
        return {0, not_open()};
    if (!call_allowed_by_seams(Call::read))
        return {0, refused_by_seams()};
    return backend::read_file(native_, buffer, capacity);
}

Failure File::write(const char *data, std::size_t length)
{
    if (!valid())
        return not_open();
    if (!call_allowed_by_seams(Call::write))
        return refused_by_seams();
    return backend::write_file(native_, data, length);
}

Failure File::rewind()
{
    if (!valid())
        return not_open();
    if (!call_allowed_by_seams(Call::position))
        return refused_by_seams();
    return backend::rewind_file(native_);
}

File::Offset File::size() const { return measured(backend::file_size); }

File::Offset File::position() const { return measured(backend::file_position); }

File::Offset File::measured(Offset (*measure)(Native)) const
{
    if (!valid())
        return {0, not_open()};
    if (!call_allowed_by_seams(Call::position))
        return {0, refused_by_seams()};
    return measure(native_);
}

Failure File::close()
{
    if (!valid())
        return {};
    Failure failed = backend::close_file(release());
    // The file is closed either way; the seams only make it report a failure.
    if (!call_allowed_by_seams(Call::close) && !failed)
        failed = refused_by_seams();
    return failed;
}

OpenedFile open_for_reading(const std::string &path)
{
    if (!call_allowed_by_seams(Call::open))
        return {File(), refused_by_seams()};
    return backend::open_for_reading(path);
}

OpenedFile create_scratch(const std::string &folder, const std::string &name)
{
    if (!call_allowed_by_seams(Call::create))
        return {File(), refused_by_seams()};
    // Without a name, nobody can open, replace or find the file, and it is
    // gone when its last descriptor closes.
    if (call_allowed_by_seams(Call::unnamed)) {
        OpenedFile unnamed = backend::create_unnamed(folder);
        if (unnamed.file.valid() || !backend::unnamed_unsupported(unnamed.failure))
            return unnamed;
    }
    const std::string path = folder + name;
    OpenedFile named = backend::create_private(path);
    if (!named.file.valid())
        return named;
    // The name lived only until now; a file that keeps it is not private, so
    // it is not used.
    Failure kept_name = backend::remove_name(path);
    if (!kept_name && !call_allowed_by_seams(Call::remove))
        kept_name = refused_by_seams();
    if (kept_name)
        return {File(), std::move(kept_name)};
    return named;
}

} // namespace lsmtp::platform
