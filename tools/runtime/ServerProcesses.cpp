#include "runtime/ServerProcesses.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace nudgerly::test {

namespace fs = std::filesystem;

std::vector<pid_t> childServers() {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream status(entry.path() / "status");
        std::string line;
        std::string command;
        pid_t parent = 0;
        while (std::getline(status, line)) {
            if (line.rfind("Name:\t", 0) == 0) {
                command = line.substr(6);
            } else if (line.rfind("PPid:\t", 0) == 0) {
                parent = std::stoi(line.substr(6));
            }
        }
        if (parent == ::getpid() && command == "llama-server") {
            found.push_back(std::stoi(name));
        }
    }
    return found;
}

std::string mappedFiles(pid_t process) {
    std::ifstream maps("/proc/" + std::to_string(process) + "/maps");
    std::string files;
    std::string line;
    while (std::getline(maps, line)) {
        if (const auto slash = line.find('/'); slash != std::string::npos) {
            files += line.substr(slash) + "\n";
        }
    }
    return files;
}

std::string runtimeDevices(const fs::path& runtime) {
    const std::string command = runtime.string() + " --list-devices 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) {
            output.append(buffer, read);
        }
        ::pclose(pipe);
    }
    return output;
}

}  // namespace nudgerly::test
