// Message bodies from any bytes: MIME parts in one of several character sets, alone, as plain and
// HTML alternatives or as the pieces of a mixed message, decoded, rendered from HTML and normalised;
// the From header read for a name and an address. Nothing may crash, hang or leave invalid UTF-8
// behind.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/Base64.h"
#include "core/Text.h"
#include "sources/gmail/GmailBodies.h"
#include "sources/gmail/GmailRecords.h"
#include "sources/gmail/mime/FromHeader.h"
#include "sources/gmail/mime/GmailBodyFormatter.h"

namespace {

using namespace nudgerly;

void requireValid(const std::string& text) {
    if (!text::isValidUtf8(text)) {
        std::abort();
    }
}

constexpr std::array<std::string_view, 12> charsets = {
    "utf-8", "",          "windows-1252", "\"ISO-8859-1\"", "utf-16", "shift_jis",
    "utf-7", "x-unknown", "iso-2022-jp",  "gb2312",         "euc-kr", "koi8-r",
};

GmailPayload part(std::string_view bytes, bool html, unsigned char choice) {
    GmailPayload part{.mimeType = html ? "text/html" : "text/plain",
                      .headers = {{"Content-Type", std::string(html ? "text/html" : "text/plain") +
                                                       "; charset=" + std::string(charsets[choice % charsets.size()])}},
                      .body = GmailBody{Base64::encodeUrlSafe(bytes)}};
    if ((choice & 0x40) != 0) {
        part.headers.push_back({"Content-Disposition", (choice & 0x20) != 0 ? "attachment" : "inline; filename=a.txt"});
    }
    return part;
}

void requireValidTexts(const GmailMessage& message) {
    requireValid(GmailBodies::displayBodyText(message));
    const auto texts = GmailBodies::messageTexts(message);
    requireValid(texts.classification);
    requireValid(texts.display);
    for (const auto& body :
         {GmailBodies::classificationBody(message.payload), GmailBodies::preferredBody(message.payload)}) {
        if (body) {
            requireValid(body->text);
            requireValid(GmailBodyFormatter::classificationText(body->text, body->isHTML));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const auto first = static_cast<unsigned char>(data[0]);
    const auto second = static_cast<unsigned char>(data[1]);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::size_t split = bytes.size() * second / 256;
    const std::string_view one = bytes.substr(0, split);
    const std::string_view two = bytes.substr(split);
    const bool html = (first & 0x80) != 0;

    // The bytes as one part, then split into two parts of a multipart tree.
    GmailMessage message{
        .id = "m",
        .internalDate = "1",
        .snippet = text::makeValidUtf8(bytes),
        .payload = {.mimeType = "multipart/alternative", .parts = std::vector{part(bytes, html, first & 0x0F)}}};
    message.payload.headers.push_back({"From", text::makeValidUtf8(bytes)});
    requireValidTexts(message);
    message.payload.mimeType = (second & 1) != 0 ? "multipart/mixed" : "multipart/alternative";
    message.payload.parts = std::vector{part(one, (first & 0x10) != 0, first), part(two, html, second)};
    requireValidTexts(message);

    // The text path alone, on the bytes made valid as every outside text is.
    const std::string valid = text::makeValidUtf8(bytes);
    requireValid(GmailBodyFormatter::normalize(GmailBodyFormatter::renderHTML(valid)));
    requireValid(FromHeader::emailAddress(valid));
    requireValid(FromHeader::displayName(valid));
    return 0;
}
