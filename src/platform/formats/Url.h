#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nudgerly {

// An absolute URL taken apart by libcurl's URL parser. Only the form "scheme://authority..." is a
// URL here; curl's leniency towards a missing or extra slash ("https:/x", "https:///x") is not
// accepted, so that a host is only ever read from an authority that was written out.
class Url {
public:
    // Absent when the text is not such a URL (spaces, control characters, a bad port, ...).
    static std::optional<Url> parse(std::string_view text);

    // The text as given.
    const std::string& string() const { return text_; }
    // Lower-cased.
    const std::string& scheme() const { return scheme_; }
    const std::optional<std::string>& host() const { return host_; }
    // Present whenever the address carries one, even an empty one ("https://@host").
    const std::optional<std::string>& user() const { return user_; }
    const std::optional<std::string>& password() const { return password_; }
    // As written, escapes and dot segments kept; "/" when the address has none.
    const std::string& path() const { return path_; }
    // What follows "?" up to any "#", as written; absent without a "?" or with nothing after it.
    const std::optional<std::string>& query() const { return query_; }

    // The reference (absolute, or relative such as "../b?q" or "//host/x") resolved against this URL
    // the way a browser resolves a link on this page. Absent when the result is not a URL as parse()
    // accepts it.
    std::optional<Url> resolved(std::string_view reference) const;

    // This URL with its query replaced by `encodedQuery`, which must already be percent-encoded (see
    // PercentEncoding::formEncoded); the fragment stays. Absent when no URL results.
    std::optional<Url> withQuery(std::string_view encodedQuery) const;

    // HTTPS, with a host and without credentials: the only kind of address a download may use.
    bool isSecure() const;

    friend bool operator==(const Url&, const Url&) = default;

private:
    std::string text_;
    std::string scheme_;
    std::optional<std::string> host_;
    std::optional<std::string> user_;
    std::optional<std::string> password_;
    std::string path_;
    std::optional<std::string> query_;
};

// True when the text parses and the URL is secure (see Url::isSecure).
bool isSecureAddress(std::string_view text);

// True when the text parses as an http or https URL with a host: an address for a browser or a web
// request, never a local file or another program's scheme.
bool isWebAddress(std::string_view text);

}  // namespace nudgerly
