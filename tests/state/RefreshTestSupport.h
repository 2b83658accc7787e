#pragma once

#include <string>
#include <vector>

#include "core/Date.h"
#include "core/RawEnum.h"
#include "modelpacks/ModelSelectionStore.h"
#include "review/ConversationBatch.h"
#include "review/LookbackWindow.h"
#include "review/ReviewSnapshot.h"
#include "state/AppStateSettings.h"
#include "support/AppStateHarness.h"

// What the refresh and queue operation tests share: a user who has made the model choice, granted
// Contacts and Full Disk Access and connected Gmail, and batches the Basic Mode rules decide alike.
namespace nudgerly::test {

// The harness's virtual "now": 2026-03-10T19:00:00Z, noon in Los Angeles (daylight-saving time).
inline Date harnessNow() {
    return Date::fromUnix(1'773'169'200);
}

// Basic Mode puts a conversation whose last message asks something in the queue, and leaves out one
// that only tells.
inline Conversation asking(std::string id, Date latest = harnessNow().addingSeconds(-3600),
                           ReviewSource source = ReviewSource::messages) {
    return {.id = std::move(id),
            .source = source,
            .person = "Ann",
            .messages = {{.fromMe = false, .text = "Can you send me the report?", .date = latest}}};
}
inline Conversation telling(std::string id, ReviewSource source = ReviewSource::messages) {
    return {.id = std::move(id),
            .source = source,
            .person = "Bo",
            .messages = {
                {.fromMe = false, .text = "The meeting moved to Thursday", .date = harnessNow().addingSeconds(-7200)}}};
}

inline ConversationBatch batchOf(std::vector<Conversation> conversations,
                                 LookbackWindow lookback = LookbackWindow::seven) {
    return {.generatedAt = harnessNow(),
            .lookbackDays = toRaw(lookback),
            .messageCount = 4,
            .activeConversations = 2,
            .inboundEndingCount = static_cast<int64_t>(conversations.size()),
            .conversations = std::move(conversations)};
}

// A saved queue of one item, refreshed an hour ago over `days` days.
inline ReviewSnapshot savedQueue(std::string itemID, ReviewSource source = ReviewSource::messages, int64_t days = 7) {
    ReviewSnapshot snapshot;
    snapshot.generatedAt = harnessNow().addingSeconds(-3600);
    snapshot.windowStart = snapshot.generatedAt.addingSeconds(-static_cast<double>(days) * 86'400);
    snapshot.windowEnd = snapshot.generatedAt;
    ReviewItem item;
    item.id = std::move(itemID);
    item.source = source;
    item.person = "Cy";
    item.summary = "Saved earlier";
    item.isKnownContact = true;
    item.timestamp = harnessNow().addingSeconds(-5400);
    snapshot.items.push_back(item);
    return snapshot;
}

// Model choice made (Basic Mode), Contacts granted with history token "token-1", Full Disk Access,
// Gmail connected as "me@example.com".
inline void readyUser(AppStateHarness& harness) {
    harness.settings->setString(ModelSelectionStore::selectedPackKey, harness.catalog.packs[0].identifier);
    harness.settings->setString(AppStateSettings::modelChoiceVersion, AppStateSettings::currentModelChoiceVersion);
    harness.contacts->setHistoryToken("token-1");
    harness.gmail->setStatus({.configured = true, .connected = true, .email = "me@example.com"});
}

// A ready user who comes back to both queues saved ("m1" in Messages, "g1" in Gmail), the Messages one
// built with the current Contacts data.
inline void returningUser(AppStateHarness& harness) {
    readyUser(harness);
    harness.settings->setData(AppStateSettings::messagesContactsHistoryToken, "token-1");
    harness.saveSnapshot(ReviewSource::messages, savedQueue("m1"));
    harness.saveSnapshot(ReviewSource::gmail, savedQueue("g1", ReviewSource::gmail));
}

// The Messages scans the reader was asked for, as "scan(<days>)".
inline std::vector<std::string> scans(const FakeMessagesSource& messages) {
    std::vector<std::string> found;
    for (const std::string& call : messages.calls()) {
        if (call.starts_with("scan(")) {
            found.push_back(call);
        }
    }
    return found;
}

}  // namespace nudgerly::test
