#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

// The process's peak resident size (VmHWM), as tests and benchmarks read it. Header only, so that a
// module preloaded into another program can use it without our libraries.
namespace nudgerly::test {

// In KiB; -1 when the kernel does not say.
inline long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Sets the peak back to the present resident size.
inline void resetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace nudgerly::test
