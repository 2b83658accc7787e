#pragma once

// What the model runtime's processes show of themselves from outside: which llama-server children this
// program has, the files one has mapped (the backends and the Vulkan driver it loaded among them), and
// the devices a runtime finds, in its own words.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace nudgerly::test {

// The processes this program started that are called llama-server, exited but unreaped ones too.
std::vector<pid_t> childServers();

// The files a process has mapped, one path per line.
std::string mappedFiles(pid_t process);

// The output of `<runtime> --list-devices` under this program's environment.
std::string runtimeDevices(const std::filesystem::path& runtime);

}  // namespace nudgerly::test
