// Feeds arbitrary os-release texts to the reader of the distribution's name.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/Text.h"
#include "services/WireValues.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto name = nudgerly::WireValues::prettyName(bytes)) {
        // The name goes out in reports: always valid, never blank.
        if (!nudgerly::text::isValidUtf8(*name) || nudgerly::text::isBlank(*name)) {
            __builtin_trap();
        }
    }
    return 0;
}
