// Token endpoint answers and the stored tokens: any bytes decode or are refused without fault, and
// tokens that decode store and read back as themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/JsonCoding.h"
#include "sources/gmail/oauth/GmailError.h"
#include "sources/gmail/oauth/OAuthTokenExchange.h"
#include "sources/gmail/oauth/OAuthTokens.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto stored = OAuthTokens::decoded(bytes)) {
        if (OAuthTokens::decoded(stored->encoded()) != stored) {
            std::abort();
        }
    }
    for (const long status : {200L, 400L}) {
        try {
            OAuthTokenExchange::tokensFromAnswer(status, bytes, Date{700'000'000});
        } catch (const JsonDecodingError&) {
        } catch (const GmailError&) {
        }
    }
    return 0;
}
