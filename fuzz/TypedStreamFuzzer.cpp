// Message bodies archived in the typed-stream format, as read from another machine's database: any
// bytes give text or nothing, the text is valid UTF-8 and is never longer than the input, the
// characters are found inside the input itself, and what the reader takes of them stays capped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/Text.h"
#include "platform/formats/TypedStreamReader.h"
#include "sources/messages/MessagePayloads.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto text = TypedStreamReader::rootText(bytes);
    // Each invalid byte may grow into the three of U+FFFD, so the bound is three times the input.
    if (text && (!text::isValidUtf8(*text) || text->size() > 3 * size)) {
        std::abort();
    }
    const auto characters = TypedStreamReader::rootCharacters(bytes);
    if (characters.has_value() != text.has_value() || (characters && text::makeValidUtf8(*characters) != *text)) {
        std::abort();
    }
    if (characters && !characters->empty() &&
        (characters->data() < bytes.data() || characters->data() + characters->size() > bytes.data() + size)) {
        std::abort();
    }
    const std::string taken = MessagePayloads::decodedText({}, bytes);
    if (!text::isValidUtf8(taken) || taken.size() > 3 * MessagePayloads::longestTakenText + 3) {
        std::abort();
    }
    return 0;
}
