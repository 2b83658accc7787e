// Rich-link payloads (keyed archives in binary property lists) as read from another machine's
// database: any bytes give a preview or none, and a preview is always a web address with a host,
// whose domain is that host less a leading "www.".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/Text.h"
#include "platform/formats/Url.h"
#include "sources/messages/MessagePayloads.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto preview = MessagePayloads::linkPreview(MessagePayloads::urlBalloonProvider, bytes);
    if (!preview) {
        return 0;
    }
    const auto url = Url::parse(preview->url);
    if (!url || !url->host() || !url->host()->ends_with(preview->domain) ||
        (url->scheme() != "http" && url->scheme() != "https") || !text::isValidUtf8(preview->url) ||
        (preview->title && !text::isValidUtf8(*preview->title)) || preview->imagePath) {
        std::abort();
    }
    return 0;
}
