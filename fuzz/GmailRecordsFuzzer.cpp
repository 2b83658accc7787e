// Answers of the Gmail API and the token endpoint, and OAuth client files: any bytes either decode or
// throw JsonDecodingError, and a thread that decodes converts into a conversation without failing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/JsonCoding.h"
#include "sources/gmail/GmailRecords.h"
#include "sources/gmail/GmailThreadConversion.h"
#include "sources/gmail/oauth/GoogleErrorResponse.h"
#include "sources/gmail/oauth/OAuthClientFile.h"

namespace {

template <typename Record>
void decode(std::string_view bytes) {
    try {
        nudgerly::decodeGmailRecord<Record>(bytes);
    } catch (const nudgerly::JsonDecodingError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    decode<GmailProfile>(bytes);
    decode<GmailMessageList>(bytes);
    decode<GmailAPIError>(bytes);
    decode<GoogleErrorResponse>(bytes);
    try {
        OAuthClientFile::fromJson(parseJson(bytes));
    } catch (const JsonDecodingError&) {
    }
    try {
        const GmailThread thread = decodeGmailRecord<GmailThread>(bytes);
        GmailThreadConversion::conversation(thread, "me@example.com");
        GmailThreadConversion::conversation(thread, "");
    } catch (const JsonDecodingError&) {
    }
    return 0;
}
