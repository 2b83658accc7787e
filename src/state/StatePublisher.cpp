#include "state/StatePublisher.h"

#include <algorithm>
#include <vector>

#include "core/RawEnum.h"

namespace nudgerly {

struct ObservationToken::Registry {
    struct Entry {
        uint64_t id = 0;
        StatePublisher::Observer observer;
    };

    // Shared so that a notification in progress keeps calling an entry safely while it is removed.
    std::vector<std::shared_ptr<Entry>> entries;
    uint64_t lastID = 0;
    StateFieldSet pending;
    bool flushPosted = false;

    void remove(uint64_t id) {
        std::erase_if(entries, [id](const auto& entry) { return entry->id == id; });
    }

    bool contains(const Entry& entry) const {
        return std::ranges::any_of(entries, [&](const auto& e) { return e.get() == &entry; });
    }

    void flush() {
        flushPosted = false;
        const StateFieldSet changed = std::exchange(pending, {});
        if (changed.empty()) {
            return;
        }
        const auto listeners = entries;  // observers added during this notification wait for the next
        for (const auto& entry : listeners) {
            if (contains(*entry)) {  // skipped once its token was destroyed by an earlier observer
                entry->observer(changed);
            }
        }
    }
};

ObservationToken::ObservationToken(ObservationToken&& other) noexcept
    : registry_(std::move(other.registry_)), id_(std::exchange(other.id_, 0)) {}

ObservationToken& ObservationToken::operator=(ObservationToken&& other) noexcept {
    if (this != &other) {
        reset();
        registry_ = std::move(other.registry_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ObservationToken::~ObservationToken() {
    reset();
}

void ObservationToken::reset() {
    if (const auto registry = registry_.lock()) {
        registry->remove(id_);
    }
    registry_.reset();
    id_ = 0;
}

StatePublisher::StatePublisher(MainQueue& mainQueue, PublishedState initial)
    : mainQueue_(mainQueue), state_(std::move(initial)), registry_(std::make_shared<ObservationToken::Registry>()) {}

StatePublisher::~StatePublisher() = default;

ObservationToken StatePublisher::observe(Observer observer) {
    const uint64_t id = ++registry_->lastID;
    using Entry = ObservationToken::Registry::Entry;
    registry_->entries.push_back(std::make_shared<Entry>(Entry{id, std::move(observer)}));
    return ObservationToken(registry_, id);
}

void StatePublisher::mark(StateField field) {
    ++writes_.at(static_cast<std::size_t>(field));
    registry_->pending.insert(field);
    if (registry_->flushPosted) {
        return;
    }
    registry_->flushPosted = true;
    // The publisher may be gone by the time the turn ends; then nobody is left to tell.
    mainQueue_.post([weak = std::weak_ptr(registry_)] {
        if (const auto registry = weak.lock()) {
            registry->flush();
        }
    });
}

void StatePublisher::markSnapshot(ReviewSource source) {
    ++snapshotWrites_.at(static_cast<std::size_t>(source));
    mark(StateField::snapshots);
}

void StatePublisher::replaceAll(PublishedState value) {
    state_ = std::move(value);
    for (std::size_t i = 0; i < stateFieldCount; ++i) {
        mark(static_cast<StateField>(i));
    }
    for (const ReviewSource source : allCases<ReviewSource>()) {
        ++snapshotWrites_.at(static_cast<std::size_t>(source));
    }
}

void StatePublisher::setSnapshots(SnapshotMap value) {
    state_.snapshots = std::move(value);
    for (const ReviewSource source : allCases<ReviewSource>()) {
        markSnapshot(source);
    }
}

void StatePublisher::setSnapshot(ReviewSource source, std::shared_ptr<const ReviewSnapshot> snapshot) {
    state_.snapshots[source] = std::move(snapshot);
    markSnapshot(source);
}

void StatePublisher::removeSnapshot(ReviewSource source) {
    state_.snapshots.erase(source);
    markSnapshot(source);
}

void StatePublisher::setRefreshProgress(ReviewSource source, RefreshProgress progress) {
    state_.refreshProgressBySource[source] = std::move(progress);
    mark(StateField::refreshProgressBySource);
}

void StatePublisher::removeRefreshProgress(ReviewSource source) {
    state_.refreshProgressBySource.erase(source);
    mark(StateField::refreshProgressBySource);
}

void StatePublisher::insertRefreshingSource(ReviewSource source) {
    state_.refreshingSources.insert(source);
    mark(StateField::refreshingSources);
}

void StatePublisher::removeRefreshingSource(ReviewSource source) {
    state_.refreshingSources.erase(source);
    mark(StateField::refreshingSources);
}

}  // namespace nudgerly
