// /proc/cpuinfo differs by architecture and kernel: any text gives a count, never more cores than it
// names processors.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/system/PhysicalCores.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int cores = nudgerly::PhysicalCores::countIn(text);
    int processors = 0;
    for (std::size_t at = text.find("processor"); at != std::string_view::npos; at = text.find("processor", at + 1)) {
        ++processors;
    }
    if (cores < 0 || cores > processors) {
        __builtin_trap();
    }
    return 0;
}
