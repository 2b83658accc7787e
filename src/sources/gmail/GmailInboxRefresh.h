#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/Clock.h"
#include "review/ConversationBatch.h"
#include "review/LookbackWindow.h"
#include "sources/gmail/GmailApiClient.h"
#include "sources/gmail/GmailRecords.h"
#include "sources/gmail/GmailThreadFetcher.h"
#include "sources/gmail/ScanProgressUpdate.h"

// Reading the recent inbox into one batch of conversations: list the message references of the
// lookback window page by page, fetch their threads a chunk at a time, convert them.
namespace nudgerly::GmailInboxRefresh {

// The listing stops once it holds this many references (the last page is kept whole).
inline constexpr std::size_t listingLimit = 2000;
inline constexpr std::string_view fetchingLine = "Fetching Gmail conversations";
inline constexpr std::string_view allFailedMessage =
    "Gmail could not fetch any conversations after retrying. Your previous queue was kept.";

// The listing's search: the inbox of the lookback's days without promotions, social, forums, spam
// and trash.
std::string listingQuery(LookbackWindow lookback);

// The progress line before each list page.
std::string listingLine(LookbackWindow lookback, std::size_t referencesSoFar);

// The distinct thread ids of the references, in the order they are first seen.
std::vector<std::string> threadIDs(const std::vector<GmailMessageReference>& references);

// The batch's warning when some threads could not be fetched; absent when none failed.
std::optional<std::string> warning(std::size_t failedCount);

// What a refresh calls out to.
struct Steps {
    // The access token, renewed when needed; called once per refresh.
    std::function<std::string(std::stop_token)> accessToken;
    const GmailApiClient& api;
    GmailThreadFetcher& fetcher;
    // Hands one progress line to the window and returns once it was taken; throws CancelledError when
    // stopped meanwhile.
    std::function<void(const ScanProgressUpdate&)> report;
    const Clock& clock;
};

// The refresh of the lookback's days. Errors of the token, profile and listing
// calls end it as they are; threads that cannot be fetched are named in the batch's warning and
// unavailable ids, unless none could be fetched at all (GmailError::google with allFailedMessage).
// Throws CancelledError when `stop` is requested, with no fetch left running.
ConversationBatch run(LookbackWindow lookback, const Steps& steps, std::stop_token stop);

}  // namespace nudgerly::GmailInboxRefresh
