// The platform's file layer: private scratch files, block I/O, errors.
#include "platform/file.h"
#include "platform/seams.h"
#include "portable.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#ifdef _WIN32
#include "platform/win32/file_path.h"

#include <windows.h>

#include <utility>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
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
        const File::Read got = file.read(block, sizeof block);
        if (got.count == 0) {
            EXPECT_FALSE(got.failure) << got.failure.text;
            return text;
        }
        text.append(block, got.count);
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

// Seams that refuse the file without a name, so that POSIX makes its scratch
// files by name as Windows always does.
lsmtp::platform::Seams without_unnamed_files()
{
    lsmtp::platform::Seams seams;
    seams.allow_call = [](lsmtp::platform::Call call, std::size_t) { return call != lsmtp::platform::Call::unnamed; };
    return seams;
}

} // namespace

TEST(File, WritesAndReadsBackByteForByte)
{
    ScratchFolder folder;
    const std::string path = folder / "copy.b64";
    const std::string text("line one\r\nbinary \0\xff\x80 end", 25);
    {
        File file(lsmtp::test::create_for_writing(path));
        ASSERT_TRUE(file.valid());
        EXPECT_FALSE(file.write(text.data(), text.size()));
        EXPECT_FALSE(file.write("", 0));
        EXPECT_FALSE(file.close());
        EXPECT_FALSE(file.valid());
    }
    lsmtp::platform::OpenedFile reader = lsmtp::platform::open_for_reading(path);
    ASSERT_TRUE(reader.file.valid()) << reader.failure.text;
    EXPECT_EQ(read_all(reader.file), text);
    char byte;
    EXPECT_EQ(reader.file.read(&byte, 1).count, 0u) << "end of file stays the end";
}

// Made by name, a scratch file never replaces, follows or creates what a
// name leads to; where a name is taken, another may work.
TEST(File, ScratchByNameNeverTouchesWhatIsAlreadyThere)
{
    const lsmtp::platform::ScopedSeams by_name(without_unnamed_files());
    ScratchFolder folder;
    const std::string existing = folder / "existing";
    put_file(existing, "keep me");
    const auto taken = [&](const std::string &name) {
        const lsmtp::platform::OpenedFile created = lsmtp::platform::create_scratch(folder / "", name);
        EXPECT_FALSE(created.file.valid()) << name;
        EXPECT_TRUE(created.failure) << name;
        return lsmtp::platform::name_was_taken(created.failure);
    };
    EXPECT_TRUE(taken("existing"));
    EXPECT_EQ(contents_of(existing), "keep me");
    EXPECT_FALSE(taken("no-such-folder/x.b64"));

    // A link to a file someone wants overwritten: the target stays as it is.
    std::error_code no_links;
    fs::create_symlink(existing, folder / "link", no_links);
    if (no_links)
        GTEST_SKIP() << "symbolic links cannot be made here: " << no_links.message();
    EXPECT_TRUE(taken("link"));
    EXPECT_EQ(contents_of(existing), "keep me");

    // A dangling link: following it would create its target.
    fs::create_symlink(folder / "target-not-there", folder / "dangling");
    EXPECT_TRUE(taken("dangling"));
    EXPECT_FALSE(fs::exists(folder / "target-not-there"));
}

TEST(File, ReportsReadAndWriteFailures)
{
    ScratchFolder folder;
    char byte;
    // Only regular files open for reading: not a folder, not a device; the
    // failure is the system's, taken where it happened.
    const lsmtp::platform::OpenedFile of_folder = lsmtp::platform::open_for_reading(folder.path().string());
    const lsmtp::platform::OpenedFile missing = lsmtp::platform::open_for_reading(folder / "missing");
    EXPECT_FALSE(of_folder.file.valid());
    EXPECT_FALSE(missing.file.valid());
#ifdef _WIN32
    EXPECT_FALSE(lsmtp::platform::open_for_reading("NUL").file.valid());
    EXPECT_EQ(missing.failure.code, ERROR_FILE_NOT_FOUND);
#else
    const lsmtp::platform::OpenedFile device = lsmtp::platform::open_for_reading("/dev/zero");
    EXPECT_FALSE(device.file.valid());
    EXPECT_EQ(device.failure.code, EINVAL);
    EXPECT_EQ(of_folder.failure.code, EISDIR);
    EXPECT_EQ(missing.failure.code, ENOENT);
#endif
    EXPECT_EQ(missing.failure.text, lsmtp::platform::failure_of(missing.failure.code).text);
    // A file open only for writing refuses reads; one open only for reading
    // refuses writes.
    File write_only(lsmtp::test::create_for_writing(folder / "write-only"));
    ASSERT_TRUE(write_only.valid());
    EXPECT_TRUE(write_only.read(&byte, 1).failure);
    write_only.close();
    lsmtp::platform::OpenedFile read_only = lsmtp::platform::open_for_reading(folder / "write-only");
    ASSERT_TRUE(read_only.file.valid());
    EXPECT_TRUE(read_only.file.write("x", 1));
#ifndef _WIN32
    // A device that is always full.
    File full(static_cast<File::Native>(::open("/dev/full", O_WRONLY | O_CLOEXEC)));
    ASSERT_TRUE(full.valid());
    EXPECT_EQ(full.write("x", 1).code, ENOSPC);
#endif

    File none;
    EXPECT_TRUE(none.read(&byte, 1).failure);
    EXPECT_TRUE(none.write("x", 1));
    EXPECT_FALSE(none.close());
}

TEST(File, MovingHandsOverOwnership)
{
    ScratchFolder folder;
    const std::string first_path = folder / "first";
    const std::string second_path = folder / "second";
    put_file(first_path, "first");
    put_file(second_path, "second");

    File first = lsmtp::platform::open_for_reading(first_path).file;
    File moved(std::move(first));
    EXPECT_FALSE(first.valid());
    ASSERT_TRUE(moved.valid());

    File second = lsmtp::platform::open_for_reading(second_path).file;
    const File::Native second_fd = second.native();
    second = std::move(moved); // closes the second file
    EXPECT_FALSE(moved.valid());
    EXPECT_EQ(read_all(second), "first");
    EXPECT_FALSE(lsmtp::test::native_file_open(second_fd)) << "the replaced file was closed";
}

// The scratch copy: written and read back through one handle, found by
// nobody, and gone once closed; without a name and by name.
TEST(File, ScratchFileIsPrivateAndLeavesNothing)
{
    ScratchFolder folder;
    const std::string text("encoded \0 text\r\n", 17);
    for (const bool unnamed : {true, false}) {
        std::optional<lsmtp::platform::ScopedSeams> by_name;
        if (!unnamed)
            by_name.emplace(without_unnamed_files());
        lsmtp::platform::OpenedFile created = lsmtp::platform::create_scratch(folder / "", "copy.b64");
        File &scratch = created.file;
        ASSERT_TRUE(scratch.valid()) << created.failure.text;
        ASSERT_FALSE(scratch.write(text.data(), text.size()));
        EXPECT_EQ(scratch.size().bytes, 17);
        ASSERT_FALSE(scratch.rewind());
        EXPECT_EQ(read_all(scratch), text);
        EXPECT_EQ(scratch.position().bytes, 17);
#ifdef _WIN32
        // The name is there while the handle lives, but nobody may open it.
        EXPECT_FALSE(lsmtp::platform::open_for_reading(folder / "copy.b64").file.valid());
#else
        EXPECT_TRUE(fs::is_empty(folder.path()));
        // Windows files take their access rules from the folder instead.
        struct stat status {};
        ASSERT_EQ(fstat(static_cast<int>(scratch.native()), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u);
#endif
        scratch.close();
        EXPECT_TRUE(fs::is_empty(folder.path()));
    }
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
        std::ofstream(folder.path() / wide, std::ios::binary) << "abc";
        File reader = lsmtp::platform::open_for_reading(prefix + narrow).file;
        EXPECT_EQ(read_all(reader), "abc") << narrow;
        // The scratch copy of an attachment takes the same way.
        File scratch = lsmtp::platform::create_scratch(prefix, "copy " + narrow).file;
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
