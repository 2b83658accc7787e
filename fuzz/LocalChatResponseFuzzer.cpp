// Feeds arbitrary answers of the local model server to the classifier's reading of them: a body gives
// a classification whose texts are valid UTF-8, or the model's "bad response" error, and nothing else;
// the object text cut from a content lies inside it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/Text.h"
#include "localmodel/LocalChatResponse.h"
#include "localmodel/LocalModelError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using nudgerly::LocalChatResponse;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const nudgerly::Classification decided = LocalChatResponse::classification(bytes);
        bool valid = nudgerly::text::isValidUtf8(decided.summary) && nudgerly::text::isValidUtf8(decided.reason) &&
                     (!decided.draft || nudgerly::text::isValidUtf8(*decided.draft));
        for (const auto& tag : decided.tags) {
            valid = valid && nudgerly::text::isValidUtf8(tag);
        }
        if (!valid) {
            __builtin_trap();
        }
    } catch (const nudgerly::LocalModelError& error) {
        if (error.kind() != nudgerly::LocalModelError::Kind::badResponse) {
            __builtin_trap();
        }
    }

    const std::string_view object = LocalChatResponse::jsonObjectText(bytes);
    const bool inside = object.size() <= bytes.size() &&
                        (object.empty() || (object.data() >= bytes.data() &&
                                            object.data() + object.size() <= bytes.data() + bytes.size()));
    const bool cut = object.size() != bytes.size();
    if (!inside || (cut && (object.front() != '{' || object.back() != '}'))) {
        __builtin_trap();
    }
    return 0;
}
