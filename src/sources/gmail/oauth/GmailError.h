#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "core/UserFacingError.h"

namespace nudgerly {

// The failures the Gmail source reports in its own words; what() is the sentence the user sees.
// Failures of the platform keep their own types (HttpError, JsonDecodingError, FileSystemError,
// CancelledError).
class GmailError : public UserFacingError {
public:
    enum class Kind {
        authorizationRejected,  // value: the callback's "error" parameter
        google,                 // value: the message itself
        invalidOAuthClient,
        missingOAuthClient,
        notConnected,
        invalidAuthorizationResponse,
        authorizationPageDidNotOpen,
        loopbackFailed,
        loopbackTimedOut,
    };

    static GmailError authorizationRejected(const std::string& error);
    static GmailError google(const std::string& message);
    static GmailError invalidOAuthClient();
    // No client file: `dataFolder` is where the user saves one.
    static GmailError missingOAuthClient(const std::filesystem::path& dataFolder);
    static GmailError notConnected();
    static GmailError invalidAuthorizationResponse();
    static GmailError authorizationPageDidNotOpen();
    static GmailError loopbackFailed();
    static GmailError loopbackTimedOut();

    Kind kind() const { return kind_; }
    // The carried text of authorizationRejected and google; empty for the other kinds.
    const std::string& value() const { return value_; }

    friend bool operator==(const GmailError& a, const GmailError& b) {
        return a.kind_ == b.kind_ && a.value_ == b.value_;
    }

private:
    GmailError(Kind kind, const std::string& sentence, std::string value = {})
        : UserFacingError(sentence), kind_(kind), value_(std::move(value)) {}

    Kind kind_;
    std::string value_;
};

}  // namespace nudgerly
