// Starts a program that should die with its parent, writes its process id to a file, then crashes.
// Usage: crashing-launcher <pid file> <program> [arguments...]
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/system/ChildProcess.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::vector<std::string> arguments(argv + 3, argv + argc);
    const auto child = nudgerly::ChildProcess::launch(argv[2], arguments, {.dieWithParent = true});
    { std::ofstream(argv[1]) << child->pid() << "\n"; }
    std::abort();
}
