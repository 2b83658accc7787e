#include "platform/contacts/ContactsChangeObservers.h"

#include <vector>

namespace nudgerly {

ContactsChangeObservers::ContactsChangeObservers() : registry_(std::make_shared<Registry>()) {}

ContactsChangeSubscription ContactsChangeObservers::add(std::function<void()> onChange) {
    uint64_t id = 0;
    {
        std::lock_guard lock(registry_->mutex);
        id = registry_->nextID++;
        registry_->observers.emplace(id, std::make_shared<const std::function<void()>>(std::move(onChange)));
    }
    return ContactsChangeSubscription([weak = std::weak_ptr<Registry>(registry_), id] {
        if (auto registry = weak.lock()) {
            std::lock_guard lock(registry->mutex);
            registry->observers.erase(id);
        }
    });
}

void ContactsChangeObservers::post(MainQueue& queue) const {
    queue.post([registry = registry_] {
        std::vector<uint64_t> ids;
        {
            std::lock_guard lock(registry->mutex);
            for (const auto& [id, observer] : registry->observers) {
                ids.push_back(id);
            }
        }
        // Looked up one at a time, so an observer that ends another's subscription stops its delivery.
        for (const uint64_t id : ids) {
            std::shared_ptr<const std::function<void()>> observer;
            {
                std::lock_guard lock(registry->mutex);
                if (auto it = registry->observers.find(id); it != registry->observers.end()) {
                    observer = it->second;
                }
            }
            if (observer) {
                (*observer)();
            }
        }
    });
}

}  // namespace nudgerly
