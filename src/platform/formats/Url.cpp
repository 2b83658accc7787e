#include "platform/formats/Url.h"

#include <memory>

#include <curl/curl.h>

#include "core/Text.h"

namespace nudgerly {
namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlHandleDeleter>;

std::optional<std::string> part(CURLU* handle, CURLUPart which) {
    char* value = nullptr;
    if (curl_url_get(handle, which, &value, 0) != CURLUE_OK || value == nullptr) {
        return std::nullopt;
    }
    std::string result(value);
    curl_free(value);
    return result;
}

// "scheme://" followed by something other than another slash.
bool hasWrittenAuthority(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    const std::string_view rest = text.substr(colon + 1);
    return rest.size() > 2 && rest.starts_with("//") && rest[2] != '/';
}

// What follows the first "?" up to any "#", as written (curl hands back escapes in lower case); no "?"
// can come earlier, as it would end the authority or the path.
std::optional<std::string> writtenQuery(const std::string& text) {
    const std::string beforeFragment = text.substr(0, text.find('#'));
    const auto question = beforeFragment.find('?');
    if (question == std::string::npos || question + 1 == beforeFragment.size()) {
        return std::nullopt;
    }
    return beforeFragment.substr(question + 1);
}

}  // namespace

std::optional<Url> Url::parse(std::string_view text) {
    // curl reads a C string: an embedded NUL would silently cut the address short.
    if (text.find('\0') != std::string_view::npos || !hasWrittenAuthority(text)) {
        return std::nullopt;
    }
    UrlHandle handle(curl_url());
    if (!handle) {
        return std::nullopt;
    }
    const std::string owned(text);
    // The path as written: a callback's path is compared with what was sent, not a normalised form.
    if (curl_url_set(handle.get(), CURLUPART_URL, owned.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS) !=
        CURLUE_OK) {
        return std::nullopt;
    }
    Url url;
    url.text_ = owned;
    url.scheme_ = text::lowercased(part(handle.get(), CURLUPART_SCHEME).value_or(""));
    url.host_ = part(handle.get(), CURLUPART_HOST);
    if (url.host_ && url.host_->empty()) {
        url.host_.reset();
    }
    url.user_ = part(handle.get(), CURLUPART_USER);
    url.password_ = part(handle.get(), CURLUPART_PASSWORD);
    url.path_ = part(handle.get(), CURLUPART_PATH).value_or("/");
    url.query_ = writtenQuery(owned);
    return url;
}

std::optional<Url> Url::resolved(std::string_view reference) const {
    if (reference.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    UrlHandle handle(curl_url());
    if (!handle) {
        return std::nullopt;
    }
    // Setting a second URL on a handle that holds one resolves it against the first.
    const std::string owned(reference);
    if (curl_url_set(handle.get(), CURLUPART_URL, text_.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK ||
        curl_url_set(handle.get(), CURLUPART_URL, owned.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    const auto text = part(handle.get(), CURLUPART_URL);
    return text ? parse(*text) : std::nullopt;
}

std::optional<Url> Url::withQuery(std::string_view encodedQuery) const {
    // Spliced into the text as written: curl would rewrite the escapes of what it hands back.
    const auto fragmentStart = text_.find('#');
    const std::string fragment = fragmentStart == std::string::npos ? "" : text_.substr(fragmentStart);
    const std::string beforeFragment = text_.substr(0, fragmentStart);
    std::string text = beforeFragment.substr(0, beforeFragment.find('?'));
    if (!encodedQuery.empty()) {
        text += '?';
        text += encodedQuery;
    }
    text += fragment;
    auto url = parse(text);
    // A query holding "#" would cut itself short and make the rest a fragment.
    if (!url || url->query().value_or("") != encodedQuery) {
        return std::nullopt;
    }
    return url;
}

bool Url::isSecure() const {
    return scheme_ == "https" && host_.has_value() && !user_.has_value() && !password_.has_value();
}

bool isSecureAddress(std::string_view text) {
    const auto url = Url::parse(text);
    return url && url->isSecure();
}

bool isWebAddress(std::string_view text) {
    const auto url = Url::parse(text);
    return url && (url->scheme() == "http" || url->scheme() == "https") && url->host();
}

}  // namespace nudgerly
