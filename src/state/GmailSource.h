#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "review/ConversationBatch.h"
#include "review/GmailConnectionStatus.h"
#include "review/LookbackWindow.h"

namespace nudgerly {

// What the state object needs of the Gmail service, which holds the OAuth client and the account's
// tokens. Safe from any thread; the calls that take a stop token block, so run them off the main
// thread, and throw CancelledError when it is requested.
class GmailSource {
public:
    // One progress line of a refresh: the text, and the counts when known. Called on the main thread;
    // the refresh waits for it.
    using Progress =
        std::function<void(const std::string& detail, std::optional<int64_t> completed, std::optional<int64_t> total)>;

    virtual ~GmailSource() = default;

    // Loads the stored tokens the first time, then gives the connection status. Never throws.
    virtual GmailConnectionStatus loadStoredStatus(std::stop_token stop) = 0;
    // Whether a client is configured, and the connected account.
    virtual GmailConnectionStatus status() const = 0;
    // The inbox threads of the lookback's days; the batch's warning and unavailable identifiers name
    // the threads whose fetch failed. Throws a UserFacingError when the threads cannot be read at all.
    virtual ConversationBatch refresh(LookbackWindow lookback, Progress onProgress, std::stop_token stop) = 0;
    // The browser sign-in with the loopback callback; the new status once the tokens are kept. Throws a
    // UserFacingError when the sign-in fails.
    virtual GmailConnectionStatus connect(std::stop_token stop) = 0;
    // Forgets the tokens, in memory and stored. Never fails.
    virtual void disconnect() = 0;
    // Whether the stored token item is still there, read from the store rather than memory: a removal
    // that did not take leaves it.
    virtual bool hasStoredTokens(std::stop_token stop) = 0;
    // Loads the OAuth client configuration again (after local data were deleted).
    virtual void reloadClientConfiguration() = 0;
};

}  // namespace nudgerly
