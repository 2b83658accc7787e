#include "support/TestEnvironment.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "files/TempDir.h"

namespace nudgerly::test {

const std::filesystem::path& isolateUserFolders() {
    static const TempDir home;
    static const bool redirected = [] {
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home.path() / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home.path() / "config").c_str(), 1);
        // No session bus either, so no test reaches the user's desktop keyring.
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::setenv("XDG_RUNTIME_DIR", (home.path() / "runtime").c_str(), 1);
        return true;
    }();
    (void)redirected;
    return home.path();
}

mode_t fileMode(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool makeOtherUsersFolder(const std::filesystem::path& path) {
    std::filesystem::create_directories(path);
    constexpr uid_t nobody = 65534;
    return ::chown(path.c_str(), nobody, nobody) == 0;
}

void makeSparseFile(const std::filesystem::path& path, uint64_t size) {
    writeTestFile(path, "");
    std::filesystem::resize_file(path, size);
}

uint64_t bytesReadByThisProcess() {
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") {
            return value;
        }
    }
    throw std::runtime_error("/proc/self/io has no rchar");
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    if (::getrlimit(RLIMIT_FSIZE, &previous_) != 0) {
        throw std::runtime_error("getrlimit failed");
    }
    // Without this the kernel ends the process with SIGXFSZ instead of failing the write.
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = previous_;
    lowered.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &lowered) != 0) {
        throw std::runtime_error("setrlimit failed");
    }
}

FileSizeLimit::~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace nudgerly::test
