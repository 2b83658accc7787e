#pragma once

#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/BackgroundExecutor.h"
#include "sources/gmail/GmailApiClient.h"
#include "sources/gmail/GmailRecords.h"

namespace nudgerly {

// What became of one thread fetch.
struct GmailThreadFetchOutcome {
    enum class Kind { fetched, failed, cancelled };

    Kind kind = Kind::cancelled;
    std::optional<GmailThread> thread;  // when fetched
    std::string threadID;

    friend bool operator==(const GmailThreadFetchOutcome&, const GmailThreadFetchOutcome&) = default;
};

// Fetches Gmail threads a few at a time on worker threads of its own, which live as long as it does.
// Destroying it asks running fetches to stop and waits for them.
class GmailThreadFetcher {
public:
    // The most fetches of one call, and so the most at once.
    static constexpr std::size_t chunkSize = 6;

    explicit GmailThreadFetcher(const GmailApiClient& api);

    // Fetches every id at once (at most `chunkSize`) and returns when all have ended: one outcome per
    // id, in the ids' order. A fetch that fails after its retries is `failed`; one stopped by `stop`
    // (or by the fetcher going) is `cancelled`.
    std::vector<GmailThreadFetchOutcome> fetch(const std::vector<std::string>& threadIDs,
                                               const std::string& accessToken, std::stop_token stop);

private:
    const GmailApiClient& api_;
    ThreadPoolExecutor workers_;
};

}  // namespace nudgerly
