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

    std::string file(const std::string &name, const std::string &content) const
    {
        std::ofstream(path / name, std::ios::binary) << content;
        return (path / name).string();
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
