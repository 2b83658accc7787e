// Feeds arbitrary links, as saved queues hold them, to the check that decides which reach xdg-open.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/system/UrlOpener.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view link(reinterpret_cast<const char*>(data), size);
    if (nudgerly::isOpenableLink(link)) {
        // Whatever passes names one of the four schemes and could never read as an option.
        const auto colon = link.find(':');
        const std::string_view scheme = link.substr(0, colon);
        if (colon == std::string_view::npos || link.front() == '-' || scheme.size() < 3 || scheme.size() > 6) {
            __builtin_trap();
        }
        for (const char c : link) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
