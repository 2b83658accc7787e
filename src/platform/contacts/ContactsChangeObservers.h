#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "core/MainQueue.h"

namespace nudgerly {

// Keeps a change subscription alive: destroying it (or calling `cancel`) ends the deliveries, also
// those already posted but not yet run. Movable, not copyable.
class ContactsChangeSubscription {
public:
    ContactsChangeSubscription() = default;
    explicit ContactsChangeSubscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ~ContactsChangeSubscription() { cancel(); }
    ContactsChangeSubscription(ContactsChangeSubscription&& other) noexcept
        : cancel_(std::exchange(other.cancel_, {})) {}
    ContactsChangeSubscription& operator=(ContactsChangeSubscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    ContactsChangeSubscription(const ContactsChangeSubscription&) = delete;
    ContactsChangeSubscription& operator=(const ContactsChangeSubscription&) = delete;

    void cancel() {
        if (auto cancel = std::exchange(cancel_, {})) {
            cancel();
        }
    }

private:
    std::function<void()> cancel_;
};

// The observers of a Contacts store's changes. Deliveries are posted to the main queue and reach the
// observers registered when they run; they stay safe after the store itself is gone.
class ContactsChangeObservers {
public:
    ContactsChangeObservers();

    ContactsChangeSubscription add(std::function<void()> onChange);

    // Posts one delivery to every observer.
    void post(MainQueue& queue) const;

private:
    struct Registry {
        std::mutex mutex;
        std::map<uint64_t, std::shared_ptr<const std::function<void()>>> observers;
        uint64_t nextID = 0;
    };

    std::shared_ptr<Registry> registry_;
};

}  // namespace nudgerly
