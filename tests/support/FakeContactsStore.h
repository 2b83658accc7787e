#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/MainQueue.h"
#include "platform/contacts/ContactsStore.h"

namespace nudgerly::test {

// A Contacts store scripted by the test: any status, the contacts and errors a fetch returns, the
// history token, what asking for access leads to, and change notifications sent on demand through the
// main queue, like the real store's. Safe from any thread.
class FakeContactsStore : public ContactsStore {
public:
    explicit FakeContactsStore(MainQueue& mainQueue,
                               ContactsAuthorizationStatus status = ContactsAuthorizationStatus::authorized)
        : mainQueue_(mainQueue), status_(status) {}

    void setStatus(ContactsAuthorizationStatus status);
    void setContacts(std::vector<Contact> contacts, std::vector<std::string> errors = {});
    // Given only while the status allows reading, as the real store does.
    void setHistoryToken(std::optional<std::string> token);
    // What a request finds when access was never decided: the user's answer (the status it leads to),
    // or a failure with this sentence. The default answer is `authorized`.
    void setAnswer(ContactsAuthorizationStatus statusAfterAsking);
    void setRequestFailure(std::optional<std::string> sentence);
    // The sentence of a damaged access decision, as if found when the store was made.
    void setDecisionProblem(std::optional<std::string> sentence);

    // Sends one change notification to every subscriber, through the main queue.
    void announceChange() const { observers_.post(mainQueue_); }

    int accessRequests() const;
    int questionsAsked() const;  // requests that put the question
    int fetches() const;
    int tokenRequests() const;

    ContactsAuthorizationStatus authorizationStatus() const override;
    bool requestAccess(std::stop_token stop, AccessQuestion question = AccessQuestion::whenUndecided) override;
    ContactsFetchResult fetchContacts(std::stop_token stop) const override;
    std::optional<std::string> currentHistoryToken() const override;
    ContactsChangeSubscription subscribe(std::function<void()> onChange) override {
        return observers_.add(std::move(onChange));
    }
    std::optional<std::string> decisionProblem() const override;

private:
    MainQueue& mainQueue_;
    mutable std::mutex mutex_;
    ContactsAuthorizationStatus status_;
    ContactsFetchResult fetchResult_;
    std::optional<std::string> historyToken_ = std::string("fake-history-token");
    ContactsAuthorizationStatus answer_ = ContactsAuthorizationStatus::authorized;
    std::optional<std::string> requestFailure_;
    std::optional<std::string> decisionProblem_;
    int accessRequests_ = 0;
    int questionsAsked_ = 0;
    mutable int fetches_ = 0;
    mutable int tokenRequests_ = 0;
    ContactsChangeObservers observers_;
};

}  // namespace nudgerly::test
