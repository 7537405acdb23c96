// Files as the platform offers them: whole-file reads and writes in blocks,
// and the exclusive creation of a private new file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lsmtp::platform {

// A move-only owner of one open file; the destructor closes it.
class File {
public:
    using Native = std::intptr_t;
    static constexpr Native invalid_native = -1;

    File() = default;
    // Takes ownership of an already open native file (a descriptor; a
    // HANDLE on Windows).
    explicit File(Native native) : native_(native) {}
    ~File();
    File(File &&other) noexcept : native_(other.release()) {}
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    bool valid() const { return native_ != invalid_native; }
    Native native() const { return native_; }
    // Gives up ownership without closing; the file becomes invalid.
    Native release();

    // Reads up to `capacity` bytes: the count, 0 at end of file, -1 on error
    // (EINTR retried). An invalid file gives -1.
    long read(char *buffer, std::size_t capacity);
    // Writes all bytes, retrying short writes and interruptions; false on
    // error or for an invalid file.
    bool write(const char *data, std::size_t length);
    // Moves back to the start of the file; false on error.
    bool rewind();
    // The file's size now, or -1 on error.
    std::int64_t size() const;
    // The bytes between the start and the current position (after reading
    // from the start: the bytes read), or -1 on error.
    std::int64_t position() const;
    // Closes; false when closing reported an error (e.g. a delayed write
    // failure). The file is invalid afterwards either way; closing an
    // invalid file succeeds.
    bool close();

private:
    Native native_ = invalid_native;
};

// Opens an existing regular file for binary reading; invalid on failure and
// for anything that is not a regular file (a folder, a device, a pipe).
File open_for_reading(const std::string &path);

enum class CreateError { none, exists, no_room_or_access, other };

// Creates a new file that did not exist, readable and writable only by its
// owner (0600), open for writing. Never replaces an existing file and never
// follows a symbolic link at `path`, so a file planted there by someone
// else is left alone. On failure the result is invalid and `why` (which may
// be null) says why; on success `why` is none.
File create_exclusive(const std::string &path, CreateError *why);

// The longest name a folder entry may have, in bytes (NAME_MAX; Windows
// allows 255 UTF-16 units, which 255 bytes never pass).
inline constexpr std::size_t max_file_name_bytes = 255;

// Creates a private scratch file, open for reading and writing, that no
// other process can open, swap or find, and that vanishes with the process
// however it ends. POSIX: an unnamed file in `folder` (O_TMPFILE) where the
// file system allows; elsewhere `folder` + `name` created as
// create_exclusive does and unlinked at once. Windows: `folder` + `name`
// created new, shared with nobody, deleted when closed. Files made by name
// never replace or follow what is there. `folder` is empty
// (the current folder) or ends in a separator. `why` as for
// create_exclusive; `exists` means another name may work.
File create_scratch(const std::string &folder, const std::string &name, CreateError *why);

// What a creation gives when a test's seams make it fail (see seams.h).
File creation_refused_by_seams(CreateError *why);

// The folder for temporary files: $TMPDIR when set and non-empty, else /tmp;
// on Windows the folder GetTempPath names, without its last backslash.
std::string temporary_directory();

} // namespace lsmtp::platform
