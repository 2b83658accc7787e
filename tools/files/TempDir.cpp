#include "files/TempDir.h"

#include <fstream>
#include <stdexcept>
#include <vector>

#include <stdlib.h>

namespace nudgerly::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nudgerly-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = name.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void writeTestFile(const std::filesystem::path& path, const std::string& contents) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) {
        throw std::runtime_error("could not write test file " + path.string());
    }
}

void backdate(const std::filesystem::path& path, std::chrono::seconds age) {
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - age);
}

}  // namespace nudgerly::test
