#include "platform/system/PhysicalCores.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

namespace nudgerly::PhysicalCores {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

int countIn(std::string_view cpuinfo) {
    // One block per processor, blank lines between; "physical id" is absent on one-socket machines of
    // some architectures, which then count as socket 0.
    std::set<std::pair<std::string, std::string>> cores;
    int processors = 0;
    bool blockHasCoreId = false;
    bool everyBlockHasCoreId = true;
    std::string package;
    std::string core;
    const auto endBlock = [&] {
        if (processors == 0) {
            return;
        }
        if (blockHasCoreId) {
            cores.emplace(package, core);
        } else {
            everyBlockHasCoreId = false;
        }
        blockHasCoreId = false;
        package.clear();
        core.clear();
    };
    std::size_t start = 0;
    while (start <= cpuinfo.size()) {
        const std::size_t end = std::min(cpuinfo.find('\n', start), cpuinfo.size());
        const std::string_view line = cpuinfo.substr(start, end - start);
        start = end + 1;
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trimmed(line.substr(0, colon));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (key == "processor") {
            endBlock();
            ++processors;
        } else if (key == "physical id") {
            package = value;
        } else if (key == "core id") {
            core = value;
            blockHasCoreId = true;
        }
    }
    endBlock();
    return everyBlockHasCoreId ? static_cast<int>(cores.size()) : processors;
}

int ofThisComputer() {
    std::ifstream file("/proc/cpuinfo");
    std::stringstream text;
    text << file.rdbuf();
    if (const int cores = countIn(text.str()); cores > 0) {
        return cores;
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace nudgerly::PhysicalCores
