// Headers of preview image files named by another machine's database: any bytes give a positive
// pixel size or none.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/formats/ImageHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const auto pixels = ImageHeader::pixelSize(std::string_view(reinterpret_cast<const char*>(data), size));
    if (pixels &&
        (pixels->width <= 0 || pixels->height <= 0 || pixels->width > INT32_MAX || pixels->height > INT32_MAX)) {
        std::abort();
    }
    return 0;
}
