#pragma once

#include <string_view>

// How many physical cores the computer has: hardware threads that share a core count once.
namespace nudgerly::PhysicalCores {

// The distinct (physical id, core id) pairs of /proc/cpuinfo's text. Where the text names processors
// without core ids (some architectures), each processor counts; nothing when it names none.
int countIn(std::string_view cpuinfo);

// This computer's count from /proc/cpuinfo; the hardware thread count when that cannot say; at least 1.
int ofThisComputer();

}  // namespace nudgerly::PhysicalCores
