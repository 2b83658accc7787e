#include "sources/gmail/GmailInboxRefresh.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "core/CancelledError.h"
#include "core/RawEnum.h"
#include "review/LookbackWindow.h"
#include "sources/gmail/GmailThreadConversion.h"
#include "sources/gmail/oauth/GmailError.h"

namespace nudgerly::GmailInboxRefresh {
namespace {

using Kind = GmailThreadFetchOutcome::Kind;

void throwIfStopped(std::stop_token stop) {
    if (stop.stop_requested()) {
        throw CancelledError();
    }
}

std::vector<GmailMessageReference> listReferences(LookbackWindow lookback, const std::string& token, const Steps& steps,
                                                  std::stop_token stop) {
    std::vector<GmailMessageReference> references;
    std::optional<std::string> pageToken;
    for (;;) {
        steps.report({.detail = listingLine(lookback, references.size())});
        const auto page = steps.api.api<GmailMessageList>(
            GmailApiClient::messagesPath,
            {{"q", listingQuery(lookback)}, {"labelIds", "INBOX"}, {"maxResults", "100"}, {"pageToken", pageToken}},
            token, stop);
        if (page.messages) {
            references.insert(references.end(), page.messages->begin(), page.messages->end());
        }
        if (!page.nextPageToken || references.size() >= listingLimit) {
            return references;
        }
        pageToken = page.nextPageToken;
    }
}

}  // namespace

std::string listingQuery(LookbackWindow lookback) {
    return "newer_than:" + std::to_string(toRaw(lookback)) +
           "d in:inbox -category:promotions -category:social -category:forums -in:spam -in:trash";
}

std::string listingLine(LookbackWindow lookback, std::size_t referencesSoFar) {
    if (referencesSoFar == 0) {
        return "Listing messages from the last " + std::to_string(toRaw(lookback)) + " days";
    }
    return "Found " + std::to_string(referencesSoFar) + " messages; checking for more";
}

std::vector<std::string> threadIDs(const std::vector<GmailMessageReference>& references) {
    std::vector<std::string> ids;
    std::unordered_set<std::string_view> seen;
    for (const auto& reference : references) {
        if (seen.insert(reference.threadID).second) {
            ids.push_back(reference.threadID);
        }
    }
    return ids;
}

std::optional<std::string> warning(std::size_t failedCount) {
    if (failedCount == 0) {
        return std::nullopt;
    }
    return "Gmail refreshed, but " + std::to_string(failedCount) + " conversation" + (failedCount == 1 ? "" : "s") +
           " could not be fetched after retrying. Nudgerly kept the previous queue entries for those conversations.";
}

ConversationBatch run(LookbackWindow lookback, const Steps& steps, std::stop_token stop) {
    steps.report({.detail = "Checking Gmail authorization"});
    const std::string token = steps.accessToken(stop);

    steps.report({.detail = "Reading Gmail account details"});
    const auto profile = steps.api.api<GmailProfile>(GmailApiClient::profilePath, {}, token, stop);

    const auto references = listReferences(lookback, token, steps, stop);
    const auto ids = threadIDs(references);
    const auto total = static_cast<int64_t>(ids.size());
    steps.report({.detail = std::string(fetchingLine), .completed = 0, .total = total});

    std::vector<GmailThread> fetched;
    std::set<std::string> failed;
    for (std::size_t start = 0; start < ids.size(); start += GmailThreadFetcher::chunkSize) {
        const std::vector<std::string> chunk(
            ids.begin() + static_cast<std::ptrdiff_t>(start),
            ids.begin() + static_cast<std::ptrdiff_t>(std::min(ids.size(), start + GmailThreadFetcher::chunkSize)));
        for (auto& outcome : steps.fetcher.fetch(chunk, token, stop)) {
            switch (outcome.kind) {
                case Kind::fetched: fetched.push_back(std::move(*outcome.thread)); break;
                case Kind::failed: failed.insert(outcome.threadID); break;
                case Kind::cancelled: throw CancelledError();
            }
        }
        throwIfStopped(stop);
        steps.report({.detail = std::string(fetchingLine),
                      .completed = static_cast<int64_t>(fetched.size() + failed.size()),
                      .total = total});
    }
    if (!ids.empty() && fetched.empty()) {
        throw GmailError::google(std::string(allFailedMessage));
    }

    steps.report({.detail = "Preparing conversations for local review"});
    ConversationBatch batch;
    for (const auto& thread : fetched) {
        throwIfStopped(stop);
        if (auto conversation = GmailThreadConversion::conversation(thread, profile.emailAddress)) {
            batch.conversations.push_back(std::move(*conversation));
        }
    }
    batch.generatedAt = steps.clock.now();
    batch.lookbackDays = toRaw(lookback);
    batch.messageCount = static_cast<int64_t>(references.size());
    batch.activeConversations = static_cast<int64_t>(batch.conversations.size());
    batch.inboundEndingCount = std::ranges::count_if(batch.conversations, [](const Conversation& conversation) {
        return !conversation.messages.empty() && !conversation.messages.back().fromMe;
    });
    batch.warning = warning(failed.size());
    for (const auto& id : failed) {
        batch.unavailableConversationIDs.insert(GmailThreadConversion::conversationID(id));
    }
    return batch;
}

}  // namespace nudgerly::GmailInboxRefresh
