#include "sources/gmail/oauth/GmailError.h"

#include "platform/system/UserFolders.h"
#include "sources/gmail/oauth/OAuthClientFile.h"

namespace nudgerly {

GmailError GmailError::authorizationRejected(const std::string& error) {
    return {Kind::authorizationRejected, "Gmail authorization was not completed: " + error, error};
}

GmailError GmailError::google(const std::string& message) {
    return {Kind::google, message, message};
}

GmailError GmailError::invalidOAuthClient() {
    return {Kind::invalidOAuthClient, "That file is not a Google Desktop OAuth client."};
}

GmailError GmailError::missingOAuthClient(const std::filesystem::path& dataFolder) {
    return {Kind::missingOAuthClient,
            "Gmail needs a Google OAuth client file. Save a \u201CDesktop app\u201D client as " +
                UserFolders::shown(dataFolder / OAuthClientFile::dataFileName) + ", then try again."};
}

GmailError GmailError::notConnected() {
    return {Kind::notConnected, "Connect Gmail before refreshing."};
}

GmailError GmailError::invalidAuthorizationResponse() {
    return {Kind::invalidAuthorizationResponse, "Google returned an invalid or expired authorization response."};
}

GmailError GmailError::authorizationPageDidNotOpen() {
    return {Kind::authorizationPageDidNotOpen,
            "Nudgerly could not open Google sign-in. Open your default browser, then try Connect Gmail again."};
}

GmailError GmailError::loopbackFailed() {
    return {Kind::loopbackFailed, "Nudgerly could not run its private OAuth callback."};
}

GmailError GmailError::loopbackTimedOut() {
    return {Kind::loopbackTimedOut, "Gmail authorization timed out. Try connecting again."};
}

}  // namespace nudgerly
