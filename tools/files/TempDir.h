#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace nudgerly::test {

// A fresh folder under the system's temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Writes a file (creating parent folders) for test set-up.
void writeTestFile(const std::filesystem::path& path, const std::string& contents);

// Sets the item's modification time `age` into the past, as if it had been written then.
void backdate(const std::filesystem::path& path, std::chrono::seconds age);

}  // namespace nudgerly::test
