#include "support/FakeContactsStore.h"

#include "core/CancelledError.h"

namespace nudgerly::test {
void FakeContactsStore::setStatus(ContactsAuthorizationStatus status) {
    std::lock_guard lock(mutex_);
    status_ = status;
}

void FakeContactsStore::setContacts(std::vector<Contact> contacts, std::vector<std::string> errors) {
    std::lock_guard lock(mutex_);
    fetchResult_ = {std::move(contacts), std::move(errors)};
}

void FakeContactsStore::setHistoryToken(std::optional<std::string> token) {
    std::lock_guard lock(mutex_);
    historyToken_ = std::move(token);
}

void FakeContactsStore::setAnswer(ContactsAuthorizationStatus statusAfterAsking) {
    std::lock_guard lock(mutex_);
    answer_ = statusAfterAsking;
}

void FakeContactsStore::setRequestFailure(std::optional<std::string> sentence) {
    std::lock_guard lock(mutex_);
    requestFailure_ = std::move(sentence);
}

void FakeContactsStore::setDecisionProblem(std::optional<std::string> sentence) {
    std::lock_guard lock(mutex_);
    decisionProblem_ = std::move(sentence);
}

std::optional<std::string> FakeContactsStore::decisionProblem() const {
    std::lock_guard lock(mutex_);
    return decisionProblem_;
}

int FakeContactsStore::accessRequests() const {
    std::lock_guard lock(mutex_);
    return accessRequests_;
}

int FakeContactsStore::questionsAsked() const {
    std::lock_guard lock(mutex_);
    return questionsAsked_;
}

int FakeContactsStore::fetches() const {
    std::lock_guard lock(mutex_);
    return fetches_;
}

ContactsAuthorizationStatus FakeContactsStore::authorizationStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

bool FakeContactsStore::requestAccess(std::stop_token stop, AccessQuestion question) {
    std::lock_guard lock(mutex_);
    ++accessRequests_;
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    if (requestFailure_) {
        throw ContactsAccessError(*requestFailure_);
    }
    if (status_ == ContactsAuthorizationStatus::notDetermined ||
        (question == AccessQuestion::evenAfterRefusal && status_ == ContactsAuthorizationStatus::denied)) {
        ++questionsAsked_;
        status_ = answer_;
    }
    return allowsReading(status_);
}

ContactsFetchResult FakeContactsStore::fetchContacts(std::stop_token stop) const {
    std::lock_guard lock(mutex_);
    ++fetches_;
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    if (!allowsReading(status_)) {
        return {.errors = {"Nudgerly doesn't have access to your contacts."}};
    }
    return fetchResult_;
}

int FakeContactsStore::tokenRequests() const {
    std::lock_guard lock(mutex_);
    return tokenRequests_;
}

std::optional<std::string> FakeContactsStore::currentHistoryToken() const {
    std::lock_guard lock(mutex_);
    ++tokenRequests_;
    return allowsReading(status_) ? historyToken_ : std::nullopt;
}

}  // namespace nudgerly::test
