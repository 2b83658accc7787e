#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "core/Clock.h"
#include "core/MainQueue.h"
#include "platform/net/HttpClient.h"
#include "platform/secrets/SecretStore.h"
#include "platform/system/UrlOpener.h"
#include "review/ConversationBatch.h"
#include "review/GmailConnectionStatus.h"
#include "review/LookbackWindow.h"
#include "sources/gmail/GmailApiClient.h"
#include "sources/gmail/GmailThreadFetcher.h"
#include "sources/gmail/ScanProgressUpdate.h"
#include "sources/gmail/oauth/GmailAuthorization.h"
#include "sources/gmail/oauth/OAuthClient.h"
#include "sources/gmail/oauth/OAuthTokenExchange.h"
#include "sources/gmail/oauth/OAuthTokens.h"

namespace nudgerly {

struct GmailServiceDependencies {
    // Where a client file shipped with the program would be (see OAuthClientFile::loadClient).
    std::optional<std::filesystem::path> resourceFolder;
    // The data folder, where the user may place a client file.
    std::filesystem::path dataDirectory;
    // The keychain items; the tokens are kept under `GmailService::tokensAccount`.
    SecretStore secrets;
    std::shared_ptr<HttpClient> http;
    std::shared_ptr<UrlOpener> urlOpener;
    // Where progress lines are handed over.
    MainQueue& mainQueue;
    const Clock& clock;
    GmailApiEndpoint api{};
    std::chrono::milliseconds callbackWait{300'000};
    std::chrono::milliseconds tokenRequestTimeout{60'000};
    // Waits between retried Gmail calls; sleepFor when empty.
    GmailApiClient::Sleeper retrySleeper{};
    // The sign-in's verifier and state; secureRandomBytes when empty.
    GmailAuthorization::RandomSource randomBytes{};
};

// The one Gmail connection of the program: the OAuth client, the connected account's tokens (kept in
// the secret store and renewed before they expire), the browser sign-in, and the inbox refresh.
//
// Safe from any thread. Its lock guards only the client and the tokens and is never held across the
// secret store, the network, the browser, a wait or a progress line. The blocking calls take a stop
// token and end with CancelledError within about a second of a stop, leaving the tokens and the
// stored secret as they were.
class GmailService {
public:
    using ProgressCallback = std::function<void(const ScanProgressUpdate&)>;

    static constexpr std::string_view tokensAccount = "gmail-oauth-tokens";
    // An access token is renewed once it has less than this left.
    static constexpr double renewalMarginSeconds = 60;

    // Reads the client configuration at once; the stored tokens wait for loadStoredStatus().
    explicit GmailService(GmailServiceDependencies dependencies);
    GmailService(const GmailService&) = delete;
    GmailService& operator=(const GmailService&) = delete;

    // What is held now; never touches the secret store.
    GmailConnectionStatus status() const;

    // Reads the stored tokens the first time, then gives the status. A stored value that does not
    // decode counts as no tokens and stays stored. Never throws.
    GmailConnectionStatus loadStoredStatus(std::stop_token stop = {});

    // The browser sign-in: opens the authorization page, waits for the loopback callback, trades the
    // code for tokens, reads the account's address and keeps the tokens. Throws GmailError for a
    // missing or broken client, a page that did not open, a rejected, invalid or timed-out sign-in and
    // the token endpoint's refusal; HttpError, JsonDecodingError and FileSystemError (the secret store)
    // as they come; CancelledError when stopped. Until the tokens are kept nothing changes.
    GmailConnectionStatus connect(std::stop_token stop);

    // Forgets the tokens, here and in the secret store. The client stays.
    void disconnect();

    // Reads the client configuration again (after the local data were deleted). The tokens stay.
    void reloadClientConfiguration();

    // An access token good for at least another minute, renewed with the refresh token when needed.
    // Throws GmailError::notConnected without usable tokens or client, the token endpoint's errors as
    // in connect(), and CancelledError.
    std::string accessToken(std::stop_token stop);

    // The inbox of the lookback's days as one batch (see GmailInboxRefresh::run). Each progress line
    // runs `onProgress` on the main thread, and the refresh goes on once it returned.
    ConversationBatch refresh(LookbackWindow lookback, ProgressCallback onProgress, std::stop_token stop);

private:
    void loadStoredTokensIfNeeded(std::stop_token stop);
    std::optional<OAuthClient> currentClient() const;
    OAuthTokens exchangeToken(const std::function<OAuthTokenExchange::FormFields(const OAuthClient&)>& fields,
                              std::stop_token stop);
    // Holds `tokens` and returns the change's number for keep().
    uint64_t hold(OAuthTokens tokens);
    // Stores the tokens of change `change` unless a later change came first.
    void keep(const OAuthTokens& tokens, uint64_t change);

    const std::optional<std::filesystem::path> resourceFolder_;
    const std::filesystem::path dataDirectory_;
    const SecretStore secrets_;
    const std::shared_ptr<HttpClient> http_;
    const std::shared_ptr<UrlOpener> urlOpener_;
    MainQueue& mainQueue_;
    const Clock& clock_;
    const std::chrono::milliseconds callbackWait_;
    const std::chrono::milliseconds tokenRequestTimeout_;
    const GmailAuthorization::RandomSource randomBytes_;
    const GmailApiClient api_;

    mutable std::mutex mutex_;
    std::optional<OAuthClient> client_;
    std::optional<OAuthTokens> tokens_;
    bool didLoadStoredTokens_ = false;
    uint64_t tokensChange_ = 0;  // counts every change of `tokens_`

    // Orders writes of the stored tokens, so that a removal is never overtaken by an older save.
    std::mutex storeTurn_;

    GmailThreadFetcher fetcher_;  // last: its workers stop before the rest goes
};

}  // namespace nudgerly
