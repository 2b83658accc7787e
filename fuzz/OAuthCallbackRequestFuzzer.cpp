// Whatever reaches the loopback callback port: any bytes either are a callback request or are not,
// hold a whole request line or not, and a callback's query reads into items and a verdict without
// fault. A request that is accepted really asks for the callback path, and its verdict never grants
// with a state that was not sent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sources/gmail/oauth/OAuthCallback.h"
#include "sources/gmail/oauth/OAuthCallbackRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    OAuthCallbackRequest::hasCompleteHead(bytes);
    // The server asks again as bytes arrive and keeps the first yes: more bytes must not take it back.
    if (OAuthCallbackRequest::hasRequestLine(bytes.substr(0, size / 2)) &&
        !OAuthCallbackRequest::hasRequestLine(bytes)) {
        std::abort();
    }
    OAuthCallback::queryItems(bytes);
    const auto callback = OAuthCallbackRequest::callbackAddress(bytes);
    if (!callback) {
        return 0;
    }
    if (callback->path() != OAuthCallbackRequest::callbackPath) {
        std::abort();
    }
    const auto verdict = OAuthCallback::judge(*callback, "expected-state");
    const auto query = OAuthCallback::queryDictionary(*callback);
    const bool answers = OAuthCallback::answersSignIn(*callback, "expected-state");
    if (verdict.kind == OAuthCallback::Verdict::Kind::grant && (query.at("state") != "expected-state" || !answers)) {
        std::abort();
    }
    OAuthCallback::completesSignIn(*callback, "expected-state");
    return 0;
}
