// A private folder for one test's files, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

namespace lsmtp::test {

struct TempFolder {
    std::filesystem::path path;
    TempFolder()
    {
        std::mt19937_64 random{std::random_device{}()};
        path = std::filesystem::temp_directory_path() / ("lsmtp-test-" + std::to_string(random()));
        std::filesystem::create_directories(path);
    }
    ~TempFolder()
    {
        namespace fs = std::filesystem;
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    // Names and the returned path are UTF-8, as the library reads a path
    // (on Windows the narrow std::filesystem calls would use the ANSI code
    // page instead).
    std::string file(const std::string &name, const std::string &content) const
    {
        const std::filesystem::path file_path = path / std::u8string(name.begin(), name.end());
        std::ofstream(file_path, std::ios::binary) << content;
        const std::u8string utf8 = file_path.u8string();
        return std::string(utf8.begin(), utf8.end());
    }
    std::set<std::string> names() const
    {
        std::set<std::string> found;
        for (const auto &entry : std::filesystem::directory_iterator(path))
            found.insert(entry.path().filename().string());
        return found;
    }
};

} // namespace lsmtp::test
