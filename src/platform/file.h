// Files as the platform offers them: whole-file reads and writes in blocks,
// and private scratch files.
#pragma once

#include "platform/failure.h"

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

    struct Read {
        std::size_t count = 0;  // 0 without a failure: the end of the file
        Failure failure;
    };
    // Reads up to `capacity` bytes (EINTR retried). An invalid file fails.
    Read read(char *buffer, std::size_t capacity);
    // Writes all bytes, retrying short writes and interruptions; fails on
    // error or for an invalid file.
    Failure write(const char *data, std::size_t length);
    // Moves back to the start of the file.
    Failure rewind();
    struct Offset {
        std::int64_t bytes = 0;
        Failure failure;
    };
    // The file's size now.
    Offset size() const;
    // The bytes between the start and the current position (after reading
    // from the start: the bytes read).
    Offset position() const;
    // Closes; fails when closing reported an error (e.g. a delayed write
    // failure). The file is invalid afterwards either way; closing an
    // invalid file succeeds.
    Failure close();

private:
    // A size or position of the open file, once the seams let it be asked.
    Offset measured(Offset (*measure)(Native)) const;

    Native native_ = invalid_native;
};

// A file just opened or created: valid, or the failure that kept it from
// being so.
struct OpenedFile {
    File file;
    Failure failure;
};

// Opens an existing regular file for binary reading; fails for anything that
// is not a regular file (a folder, a device, a pipe).
OpenedFile open_for_reading(const std::string &path);

// The longest name a folder entry may have, in bytes (NAME_MAX; Windows
// allows 255 UTF-16 units, which 255 bytes never pass).
inline constexpr std::size_t max_file_name_bytes = 255;

// Creates a private scratch file, open for reading and writing, that no
// other process can open, swap or find, and that vanishes with the process
// however it ends. POSIX: an unnamed file in `folder` (O_TMPFILE) where the
// file system allows; elsewhere `folder` + `name` created new (0600) and
// unlinked at once. Windows: `folder` + `name` created new, shared with
// nobody, deleted when closed. Files made by name never replace what is
// there nor follow a symbolic link there. `folder` is empty (the current
// folder) or ends in a separator.
OpenedFile create_scratch(const std::string &folder, const std::string &name);

// Whether a creation failed because something is there already under the
// name (another name may work).
bool name_was_taken(const Failure &failure);

// The folder for temporary files: $TMPDIR when set and non-empty, else /tmp;
// on Windows the folder GetTempPath names, without its last backslash.
std::string temporary_directory();

} // namespace lsmtp::platform
