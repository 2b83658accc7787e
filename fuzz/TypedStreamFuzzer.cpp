// Message bodies archived in the typed-stream format, as read from another machine's database: any
// bytes give text or nothing, the text is valid UTF-8 and is never longer than the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/Text.h"
#include "sources/messages/TypedStreamReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto text = TypedStreamReader::rootText(bytes);
    // Each invalid byte may grow into the three of U+FFFD, so the bound is three times the input.
    if (text && (!text::isValidUtf8(*text) || text->size() > 3 * size)) {
        std::abort();
    }
    return 0;
}
