// The platform's file layer: exclusive private creation, block I/O, errors.
#include "platform/file.h"
#include "portable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#ifdef _WIN32
#include "platform/win32/file_path.h"

#include <windows.h>

#include <optional>
#include <utility>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using lsmtp::platform::CreateError;
using lsmtp::platform::File;

namespace {

// A fresh folder for one test, removed with everything in it afterwards.
class ScratchFolder {
public:
    ScratchFolder() : path_(lsmtp::test::make_scratch_folder("lsmtp-file-")) {}
    ~ScratchFolder()
    {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, ignored);
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    std::string operator/(const std::string &name) const { return (path_ / name).string(); }
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

std::string contents_of(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put_file(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_all(File &file)
{
    std::string text;
    char block[7]; // small on purpose: several reads, one of them partial
    for (;;) {
        const long got = file.read(block, sizeof block);
        if (got <= 0) {
            EXPECT_EQ(got, 0);
            return text;
        }
        text.append(block, static_cast<std::size_t>(got));
    }
}

// Restores an environment variable when the test ends.
class SavedVariable {
public:
    explicit SavedVariable(const char *name) : name_(name)
    {
        const char *value = std::getenv(name);
        had_ = value != nullptr;
        if (had_)
            value_ = value;
    }
    ~SavedVariable()
    {
        if (had_)
            lsmtp::test::set_variable(name_, value_.c_str());
        else
            lsmtp::test::unset_variable(name_);
    }
    SavedVariable(const SavedVariable &) = delete;
    SavedVariable &operator=(const SavedVariable &) = delete;

private:
    const char *name_;
    bool had_ = false;
    std::string value_;
};

} // namespace

TEST(File, CreatesAPrivateFileThatReadsBackByteForByte)
{
    ScratchFolder folder;
    const std::string path = folder / "copy.b64";
    const std::string text("line one\r\nbinary \0\xff\x80 end", 25);
    {
        CreateError why = CreateError::other;
        File file = lsmtp::platform::create_exclusive(path, &why);
        ASSERT_TRUE(file.valid());
        EXPECT_EQ(why, CreateError::none);
        EXPECT_TRUE(file.write(text.data(), text.size()));
        EXPECT_TRUE(file.write("", 0));
        EXPECT_TRUE(file.close());
        EXPECT_FALSE(file.valid());
    }
#ifndef _WIN32
    // Windows files take their access rules from the folder instead.
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
#endif

    File reader = lsmtp::platform::open_for_reading(path);
    ASSERT_TRUE(reader.valid());
    EXPECT_EQ(read_all(reader), text);
    char byte;
    EXPECT_EQ(reader.read(&byte, 1), 0) << "end of file stays the end";
}

TEST(File, ExclusiveCreateNeverTouchesWhatIsAlreadyThere)
{
    ScratchFolder folder;
    const std::string existing = folder / "existing";
    put_file(existing, "keep me");
    CreateError why = CreateError::none;
    EXPECT_FALSE(lsmtp::platform::create_exclusive(existing, &why).valid());
    EXPECT_EQ(why, CreateError::exists);
    EXPECT_EQ(contents_of(existing), "keep me");

    // A link to a file someone wants overwritten: the target stays as it is.
    const std::string link = folder / "link";
    std::error_code no_links;
    fs::create_symlink(existing, link, no_links);
    if (no_links)
        GTEST_SKIP() << "symbolic links cannot be made here: " << no_links.message();
    why = CreateError::none;
    EXPECT_FALSE(lsmtp::platform::create_exclusive(link, &why).valid());
    EXPECT_EQ(why, CreateError::exists);
    EXPECT_EQ(contents_of(existing), "keep me");

    // A dangling link: following it would create its target.
    const std::string dangling = folder / "dangling";
    fs::create_symlink(folder / "target-not-there", dangling);
    why = CreateError::none;
    EXPECT_FALSE(lsmtp::platform::create_exclusive(dangling, &why).valid());
    EXPECT_EQ(why, CreateError::exists);
    EXPECT_FALSE(fs::exists(folder / "target-not-there"));

    // A null `why` is allowed.
    EXPECT_FALSE(lsmtp::platform::create_exclusive(existing, nullptr).valid());
}

TEST(File, CreateInAMissingFolderIsOtherError)
{
    ScratchFolder folder;
    CreateError why = CreateError::none;
    EXPECT_FALSE(lsmtp::platform::create_exclusive(folder / "no-such-folder/x.b64", &why).valid());
    EXPECT_EQ(why, CreateError::other);
}

TEST(File, CreateInAReadOnlyFolderIsNoRoomOrAccess)
{
    ScratchFolder folder;
    // Only the inner folder is read-only; the way to it is open to all.
    fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
    const fs::path locked = folder.path() / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const std::string path = (locked / "x.b64").string();

    // Root ignores folder permissions, so the attempt runs in a child that
    // first gives up root; the child reports through its exit status.
#ifdef _WIN32
    GTEST_SKIP() << "a read-only folder does not keep new files out on Windows";
#else
    enum Outcome { refused_for_access = 10, other_result = 11, cannot_drop_root = 12 };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(cannot_drop_root);
        CreateError why = CreateError::none;
        const bool created = lsmtp::platform::create_exclusive(path, &why).valid();
        _exit(!created && why == CreateError::no_room_or_access ? refused_for_access : other_result);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == cannot_drop_root)
        GTEST_SKIP() << "running as root with no other user id mapped: a read-only folder cannot refuse us";
    EXPECT_EQ(WEXITSTATUS(status), refused_for_access);
    EXPECT_FALSE(fs::exists(path));
#endif
}

TEST(File, ReportsReadAndWriteFailures)
{
    ScratchFolder folder;
    char byte;
    // Only regular files open for reading: not a folder, not a device.
    EXPECT_FALSE(lsmtp::platform::open_for_reading(folder.path().string()).valid());
#ifdef _WIN32
    EXPECT_FALSE(lsmtp::platform::open_for_reading("NUL").valid());
#else
    EXPECT_FALSE(lsmtp::platform::open_for_reading("/dev/zero").valid());
#endif
    // A file open only for writing refuses reads; one open only for reading
    // refuses writes.
    File write_only = lsmtp::platform::create_exclusive(folder / "write-only", nullptr);
    ASSERT_TRUE(write_only.valid());
    EXPECT_EQ(write_only.read(&byte, 1), -1);
#ifdef _WIN32
    File locked = lsmtp::platform::open_for_reading(folder / "write-only");
    ASSERT_FALSE(locked.valid()) << "nobody else may open the new file while it is written";
#endif
    write_only.close();
    File read_only = lsmtp::platform::open_for_reading(folder / "write-only");
    ASSERT_TRUE(read_only.valid());
    EXPECT_FALSE(read_only.write("x", 1));
#ifndef _WIN32
    // A device that is always full.
    File full(static_cast<File::Native>(::open("/dev/full", O_WRONLY | O_CLOEXEC)));
    ASSERT_TRUE(full.valid());
    EXPECT_FALSE(full.write("x", 1));
#endif
    EXPECT_FALSE(lsmtp::platform::open_for_reading(folder / "missing").valid());

    File none;
    EXPECT_EQ(none.read(&byte, 1), -1);
    EXPECT_FALSE(none.write("x", 1));
    EXPECT_TRUE(none.close());
}

TEST(File, MovingHandsOverOwnership)
{
    ScratchFolder folder;
    const std::string first_path = folder / "first";
    const std::string second_path = folder / "second";
    put_file(first_path, "first");
    put_file(second_path, "second");

    File first = lsmtp::platform::open_for_reading(first_path);
    File moved(std::move(first));
    EXPECT_FALSE(first.valid());
    ASSERT_TRUE(moved.valid());

    File second = lsmtp::platform::open_for_reading(second_path);
    const File::Native second_fd = second.native();
    second = std::move(moved); // closes the second file
    EXPECT_FALSE(moved.valid());
    EXPECT_EQ(read_all(second), "first");
    EXPECT_FALSE(lsmtp::test::native_file_open(second_fd)) << "the replaced file was closed";
}

// The scratch copy: written and read back through one handle, found by
// nobody, and gone once closed.
TEST(File, ScratchFileIsPrivateAndLeavesNothing)
{
    ScratchFolder folder;
    const std::string text("encoded \0 text\r\n", 17);
    {
        CreateError why = CreateError::other;
        File scratch = lsmtp::platform::create_scratch(folder / "", "copy.b64", &why);
        ASSERT_TRUE(scratch.valid());
        EXPECT_EQ(why, CreateError::none);
        ASSERT_TRUE(scratch.write(text.data(), text.size()));
        EXPECT_EQ(scratch.size(), 17);
        ASSERT_TRUE(scratch.rewind());
        EXPECT_EQ(read_all(scratch), text);
        EXPECT_EQ(scratch.position(), 17);
#ifdef _WIN32
        // The name is there while the handle lives, but nobody may open it.
        EXPECT_FALSE(lsmtp::platform::open_for_reading(folder / "copy.b64").valid());
#else
        EXPECT_TRUE(fs::is_empty(folder.path()));
#endif
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

#ifdef _WIN32
TEST(File, TemporaryDirectoryFollowsTmp)
{
    // GetTempPath reads TMP first; its trailing backslash is dropped.
    SavedVariable saved("TMP");
    lsmtp::test::set_variable("TMP", "C:\\elsewhere\\");
    EXPECT_EQ(lsmtp::platform::temporary_directory(), "C:\\elsewhere");
    // A folder the ANSI code page (1252 here) holds exactly comes in that
    // code page, any other in UTF-8.
    ASSERT_EQ(GetACP(), 1252u) << "the Windows suite runs with its locale pinned";
    SetEnvironmentVariableW(L"TMP", L"C:\\caf\u00e9\\");
    EXPECT_EQ(lsmtp::platform::temporary_directory(), "C:\\caf\xE9");
    SetEnvironmentVariableW(L"TMP", L"C:\\\u65e5\u672c\\");
    EXPECT_EQ(lsmtp::platform::temporary_directory(), "C:\\\xE6\x97\xA5\xE6\x9C\xAC");
}

TEST(FilePath, OnlyValidUtf8BeyondAsciiTakesTheWideCalls)
{
    const struct {
        const char *path;
        std::optional<std::wstring> wide;
    } cases[] = {
        {"C:\\plain\\report.pdf", std::nullopt},
        {"", std::nullopt},
        {"C:\\r\xC3\xA9sum\xC3\xA9.pdf", L"C:\\r\u00e9sum\u00e9.pdf"},
        {"\xE6\x97\xA5\xE6\x9C\xAC.txt", L"\u65e5\u672c.txt"},
        {"clip \xF0\x9F\x93\x8E.bin", L"clip \xD83D\xDCCE.bin"}, // beyond the BMP: a surrogate pair
        {"r\xE9sum\xE9.pdf", std::nullopt},                       // Windows-1252, not UTF-8
        {"over\xC0\xAFlong", std::nullopt},                         // "/" in two bytes
        {"lone \xED\xA0\x80 half", std::nullopt},                   // an encoded surrogate
        {"cut short \xC3", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(lsmtp::platform::win32::utf8_path_as_utf16(c.path), c.wide) << c.path;
}

TEST(FilePath, Utf8AndAnsiNamesReachTheFileTheirCharactersName)
{
    ASSERT_EQ(GetACP(), 1252u) << "the Windows suite runs with its locale pinned";
    ScratchFolder folder;
    const std::pair<std::string, std::wstring> names[] = {
        {"r\xC3\xA9sum\xC3\xA9 \xE6\x97\xA5.txt", L"r\u00e9sum\u00e9 \u65e5.txt"},
        {"caf\xE9.txt", L"caf\u00e9.txt"},
    };
    const std::string prefix = folder.path().string() + "\\";
    for (const auto &[narrow, wide] : names) {
        File created = lsmtp::platform::create_exclusive(prefix + narrow, nullptr);
        ASSERT_TRUE(created.valid()) << narrow;
        ASSERT_TRUE(created.write("abc", 3));
        ASSERT_TRUE(created.close());
        EXPECT_TRUE(fs::exists(folder.path() / wide)) << narrow;
        File reader = lsmtp::platform::open_for_reading(prefix + narrow);
        EXPECT_EQ(read_all(reader), "abc") << narrow;
        // The scratch copy of an attachment takes the same way.
        File scratch = lsmtp::platform::create_scratch(prefix, "copy " + narrow, nullptr);
        ASSERT_TRUE(scratch.valid()) << narrow;
        EXPECT_TRUE(fs::exists(folder.path() / (L"copy " + wide))) << narrow;
    }
}
#else
TEST(File, TemporaryDirectoryFollowsTmpdir)
{
    SavedVariable saved("TMPDIR");
    setenv("TMPDIR", "/var/spool/elsewhere", 1);
    EXPECT_EQ(lsmtp::platform::temporary_directory(), "/var/spool/elsewhere");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(lsmtp::platform::temporary_directory(), "/tmp");
    unsetenv("TMPDIR");
    EXPECT_EQ(lsmtp::platform::temporary_directory(), "/tmp");
}
#endif
