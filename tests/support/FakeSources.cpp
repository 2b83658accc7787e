#include "support/FakeSources.h"

namespace nudgerly::test {

ConversationBatch FakeMessagesSource::scan(int64_t days, std::stop_token stop) {
    record("scan(" + std::to_string(days) + ")");
    return onScan ? onScan(days, stop) : ConversationBatch{.lookbackDays = days};
}

bool FakeMessagesSource::requestContacts(std::stop_token stop) {
    record("requestContacts()");
    return onRequestContacts ? onRequestContacts(stop) : true;
}

ReviewSnapshot FakeMessagesSource::removingDeletedMessages(const ReviewSnapshot& snapshot, std::stop_token stop) {
    record("removingDeletedMessages(" + std::to_string(snapshot.items.size()) + ")");
    return onRemovingDeletedMessages ? onRemovingDeletedMessages(snapshot, stop) : snapshot;
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

ConversationBatch FakeGmailSource::refresh(int64_t days, Progress onProgress, std::stop_token stop) {
    record("refresh(" + std::to_string(days) + ")");
    return onRefresh ? onRefresh(days, onProgress, stop) : ConversationBatch{.lookbackDays = days};
}

GmailConnectionStatus FakeGmailSource::connect(std::stop_token stop) {
    record("connect()");
    if (onConnect) {
        return onConnect(stop);
    }
    std::lock_guard lock(mutex_);
    status_.connected = true;
    status_.email = "person@example.com";
    return status_;
}

void FakeGmailSource::disconnect() {
    record("disconnect()");
    std::lock_guard lock(mutex_);
    status_.connected = false;
    status_.email.reset();
}

void FakeGmailSource::reloadClientConfiguration() { record("reloadClientConfiguration()"); }

std::vector<std::string> FakeGmailSource::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeGmailSource::record(std::string call) const {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

}  // namespace nudgerly::test
