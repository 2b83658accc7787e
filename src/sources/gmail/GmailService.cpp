#include "sources/gmail/GmailService.h"

#include "core/CancelledError.h"
#include "core/SecureRandom.h"
#include "sources/gmail/GmailInboxRefresh.h"
#include "sources/gmail/oauth/GmailAuthorization.h"
#include "sources/gmail/oauth/GmailError.h"
#include "sources/gmail/oauth/LoopbackOAuthServer.h"
#include "sources/gmail/oauth/OAuthCallback.h"
#include "sources/gmail/oauth/OAuthClientFile.h"

namespace nudgerly {
namespace {

void throwIfStopped(std::stop_token stop) {
    if (stop.stop_requested()) {
        throw CancelledError();
    }
}

// The code of a callback that grants access with the expected state.
std::string grantedCode(const Url& callback, std::string_view expectedState) {
    using Kind = OAuthCallback::Verdict::Kind;
    const auto verdict = OAuthCallback::judge(callback, expectedState);
    switch (verdict.kind) {
        case Kind::grant: return verdict.value;
        case Kind::rejected: throw GmailError::authorizationRejected(verdict.value);
        case Kind::invalid: break;
    }
    throw GmailError::invalidAuthorizationResponse();
}

}  // namespace

GmailService::GmailService(GmailServiceDependencies dependencies)
    : resourceFolder_(std::move(dependencies.resourceFolder)),
      dataDirectory_(std::move(dependencies.dataDirectory)),
      secrets_(std::move(dependencies.secrets)),
      http_(std::move(dependencies.http)),
      urlOpener_(std::move(dependencies.urlOpener)),
      mainQueue_(dependencies.mainQueue),
      clock_(dependencies.clock),
      callbackWait_(dependencies.callbackWait),
      tokenRequestTimeout_(dependencies.tokenRequestTimeout),
      randomBytes_(dependencies.randomBytes ? std::move(dependencies.randomBytes) : secureRandomBytes),
      api_(http_, std::move(dependencies.api), std::move(dependencies.retrySleeper)),
      client_(OAuthClientFile::loadClient(resourceFolder_, dataDirectory_)),
      fetcher_(api_) {}

GmailConnectionStatus GmailService::status() const {
    std::lock_guard lock(mutex_);
    return {.configured = client_.has_value(),
            .connected = tokens_.has_value(),
            .email = tokens_ ? tokens_->email : std::nullopt};
}

GmailConnectionStatus GmailService::loadStoredStatus(std::stop_token stop) {
    loadStoredTokensIfNeeded(stop);
    return status();
}

void GmailService::loadStoredTokensIfNeeded(std::stop_token stop) {
    uint64_t change = 0;
    {
        std::lock_guard lock(mutex_);
        if (didLoadStoredTokens_) {
            return;
        }
        change = tokensChange_;
    }
    const auto stored = secrets_.load(tokensAccount, stop);
    std::lock_guard lock(mutex_);
    // A sign-in or a disconnection while the store was read decides instead.
    if (didLoadStoredTokens_ || change != tokensChange_) {
        return;
    }
    didLoadStoredTokens_ = true;
    if (stored) {
        tokens_ = OAuthTokens::decoded(*stored);
        ++tokensChange_;
    }
}

std::optional<OAuthClient> GmailService::currentClient() const {
    std::lock_guard lock(mutex_);
    return client_;
}

GmailConnectionStatus GmailService::connect(std::stop_token stop) {
    const auto client = currentClient();
    if (!client) {
        throw GmailError::missingOAuthClient(dataDirectory_);
    }
    const std::string verifier = GmailAuthorization::randomURLSafe(GmailAuthorization::verifierByteCount, randomBytes_);
    const std::string challenge = GmailAuthorization::codeChallenge(verifier);
    const std::string state = GmailAuthorization::randomURLSafe(GmailAuthorization::stateByteCount, randomBytes_);

    LoopbackOAuthServer server(state);
    const std::string redirectAddress = server.start();
    const std::string address = GmailAuthorization::authorizationAddress(*client, redirectAddress, state, challenge);
    if (!urlOpener_->open(address, stop)) {
        throw GmailError::authorizationPageDidNotOpen();
    }
    const std::string code = grantedCode(server.waitForCallback(callbackWait_, stop), state);

    OAuthTokens tokens = exchangeToken(
        [&](const OAuthClient& current) {
            return OAuthTokenExchange::authorizationCodeFields(current, code, verifier, redirectAddress);
        },
        stop);
    tokens.email = api_.api<GmailProfile>(GmailApiClient::profilePath, {}, tokens.accessToken, stop).emailAddress;
    throwIfStopped(stop);
    keep(tokens, hold(tokens));
    return status();
}

void GmailService::disconnect() {
    {
        std::lock_guard lock(mutex_);
        didLoadStoredTokens_ = true;
        tokens_.reset();
        ++tokensChange_;
    }
    std::lock_guard turn(storeTurn_);
    secrets_.remove(tokensAccount);
}

void GmailService::reloadClientConfiguration() {
    auto client = OAuthClientFile::loadClient(resourceFolder_, dataDirectory_);
    std::lock_guard lock(mutex_);
    client_ = std::move(client);
}

std::string GmailService::accessToken(std::stop_token stop) {
    loadStoredTokensIfNeeded(stop);
    std::string refreshToken;
    uint64_t change = 0;
    {
        std::lock_guard lock(mutex_);
        if (!tokens_) {
            throw GmailError::notConnected();
        }
        if (tokens_->isValid(clock_.now(), renewalMarginSeconds)) {
            return tokens_->accessToken;
        }
        if (!tokens_->refreshToken || !client_) {
            throw GmailError::notConnected();
        }
        refreshToken = *tokens_->refreshToken;
        change = tokensChange_;
    }
    const OAuthTokens answer = exchangeToken(
        [&](const OAuthClient& client) { return OAuthTokenExchange::refreshFields(client, refreshToken); }, stop);
    throwIfStopped(stop);
    OAuthTokens renewed;
    {
        std::lock_guard lock(mutex_);
        if (change != tokensChange_) {
            // Disconnected meanwhile: the renewal must not bring the account back.
            if (!tokens_) {
                throw GmailError::notConnected();
            }
            // Replaced meanwhile (a sign-in or another renewal): those tokens stay; this access token
            // still serves the caller.
            return answer.accessToken;
        }
        renewed = tokens_->renewedWith(answer);
        tokens_ = renewed;
        change = ++tokensChange_;
    }
    keep(renewed, change);
    return renewed.accessToken;
}

OAuthTokens GmailService::exchangeToken(const std::function<OAuthTokenExchange::FormFields(const OAuthClient&)>& fields,
                                        std::stop_token stop) {
    const auto client = currentClient();
    if (!client) {
        throw GmailError::invalidOAuthClient();
    }
    return OAuthTokenExchange::exchange(*http_, *client, fields(*client), tokenRequestTimeout_, clock_, stop);
}

uint64_t GmailService::hold(OAuthTokens tokens) {
    std::lock_guard lock(mutex_);
    didLoadStoredTokens_ = true;
    tokens_ = std::move(tokens);
    return ++tokensChange_;
}

void GmailService::keep(const OAuthTokens& tokens, uint64_t change) {
    std::lock_guard turn(storeTurn_);
    {
        std::lock_guard lock(mutex_);
        if (change != tokensChange_) {
            return;  // a later change owns the stored item
        }
    }
    secrets_.save(tokens.encoded(), tokensAccount);
}

ConversationBatch GmailService::refresh(LookbackWindow lookback, ProgressCallback onProgress, std::stop_token stop) {
    const GmailInboxRefresh::Steps steps{
        .accessToken = [this](std::stop_token tokenStop) { return accessToken(tokenStop); },
        .api = api_,
        .fetcher = fetcher_,
        .report =
            [&](const ScanProgressUpdate& update) {
                if (onProgress && !runOnMainAndWait(
                                      mainQueue_, [onProgress, update] { onProgress(update); }, stop)) {
                    throw CancelledError();
                }
            },
        .clock = clock_,
    };
    return GmailInboxRefresh::run(lookback, steps, stop);
}

}  // namespace nudgerly
