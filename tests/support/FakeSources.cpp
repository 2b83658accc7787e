#include "support/FakeSources.h"

#include "core/RawEnum.h"

namespace nudgerly::test {

ConversationBatch FakeMessagesSource::scan(LookbackWindow lookback, std::stop_token stop) {
    record("scan(" + std::to_string(toRaw(lookback)) + ")");
    return onScan ? onScan(lookback, stop) : ConversationBatch{.lookbackDays = toRaw(lookback)};
}

bool FakeMessagesSource::requestContacts(std::stop_token stop, AccessQuestion question) {
    record(question == AccessQuestion::evenAfterRefusal ? "requestContacts(again)" : "requestContacts()");
    return onRequestContacts ? onRequestContacts(stop) : true;
}

std::optional<ReviewSnapshot> FakeMessagesSource::removingDeletedMessages(const ReviewSnapshot& snapshot,
                                                                          std::stop_token stop) {
    record("removingDeletedMessages(" + std::to_string(snapshot.items.size()) + ")");
    return onRemovingDeletedMessages ? onRemovingDeletedMessages(snapshot, stop) : std::nullopt;
}

std::vector<std::string> FakeMessagesSource::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeMessagesSource::record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void FakeGmailSource::setStatus(GmailConnectionStatus status) {
    std::lock_guard lock(mutex_);
    storedTokens_ = status.connected;
    status_ = std::move(status);
}

GmailConnectionStatus FakeGmailSource::loadStoredStatus(std::stop_token) {
    record("loadStoredStatus()");
    std::lock_guard lock(mutex_);
    return status_;
}

GmailConnectionStatus FakeGmailSource::status() const {
    record("status()");
    std::lock_guard lock(mutex_);
    return status_;
}

ConversationBatch FakeGmailSource::refresh(LookbackWindow lookback, Progress onProgress, std::stop_token stop) {
    record("refresh(" + std::to_string(toRaw(lookback)) + ")");
    return onRefresh ? onRefresh(lookback, onProgress, stop) : ConversationBatch{.lookbackDays = toRaw(lookback)};
}

GmailConnectionStatus FakeGmailSource::connect(std::stop_token stop) {
    record("connect()");
    GmailConnectionStatus connected;
    if (onConnect) {
        connected = onConnect(stop);
    } else {
        std::lock_guard lock(mutex_);
        connected = status_;
        connected.connected = true;
        connected.email = "person@example.com";
    }
    // Like the service, a sign-in that ends well holds and stores the new tokens.
    std::lock_guard lock(mutex_);
    status_ = connected;
    storedTokens_ = true;
    return connected;
}

void FakeGmailSource::disconnect() {
    record("disconnect()");
    std::lock_guard lock(mutex_);
    status_.connected = false;
    status_.email.reset();
    storedTokens_ = storedTokens_ && failTokenRemoval;
}

bool FakeGmailSource::hasStoredTokens(std::stop_token) {
    record("hasStoredTokens()");
    std::lock_guard lock(mutex_);
    return storedTokens_;
}

void FakeGmailSource::reloadClientConfiguration() {
    record("reloadClientConfiguration()");
}

std::vector<std::string> FakeGmailSource::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeGmailSource::record(std::string call) const {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

}  // namespace nudgerly::test
