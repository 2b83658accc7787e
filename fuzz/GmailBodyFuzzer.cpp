// Message bodies from any bytes: a MIME part in one of several character sets, decoded, rendered from
// HTML and normalised; the From header read for a name and an address. Nothing may crash, hang or
// leave invalid UTF-8 behind.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/Base64.h"
#include "core/Text.h"
#include "sources/gmail/FromHeader.h"
#include "sources/gmail/GmailBodies.h"
#include "sources/gmail/GmailBodyFormatter.h"
#include "sources/gmail/GmailRecords.h"

namespace {

void requireValid(const std::string& text) {
    if (!nudgerly::text::isValidUtf8(text)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    if (size == 0) {
        return 0;
    }
    static constexpr std::array<std::string_view, 8> contentTypes = {
        "text/html; charset=utf-8", "text/html", "text/plain; charset=windows-1252",
        "text/html; charset=\"ISO-8859-1\"", "text/plain; charset=utf-16", "text/html; charset=shift_jis",
        "text/plain; charset=utf-7", "text/plain; charset=x-unknown",
    };
    const auto choice = static_cast<unsigned char>(data[0]);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool html = (choice & 0x80) != 0;

    // The bytes as one part of a message, and the same part inside a multipart tree.
    GmailPayload part{.mimeType = html ? "text/html" : "text/plain",
                      .headers = {{"Content-Type", std::string(contentTypes[choice % contentTypes.size()])}},
                      .body = GmailBody{Base64::encodeUrlSafe(bytes)}};
    GmailMessage message{.id = "m", .internalDate = "1", .snippet = text::makeValidUtf8(bytes),
                         .payload = {.mimeType = "multipart/alternative", .parts = std::vector{part}}};
    message.payload.headers.push_back({"From", text::makeValidUtf8(bytes)});
    requireValid(GmailBodies::displayBodyText(message));
    if (const auto body = GmailBodies::classificationBody(message.payload)) {
        requireValid(body->text);
        requireValid(GmailBodyFormatter::classificationText(body->text, body->isHTML));
    }

    // The text path alone, on the bytes made valid as every outside text is.
    const std::string valid = text::makeValidUtf8(bytes);
    requireValid(GmailBodyFormatter::normalize(GmailBodyFormatter::renderHTML(valid)));
    requireValid(FromHeader::emailAddress(valid));
    requireValid(FromHeader::displayName(valid));
    return 0;
}
