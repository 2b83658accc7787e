#include "state/DerivedQueue.h"

namespace nudgerly {

namespace {

std::shared_ptr<const ReviewSnapshot> snapshotOf(const PublishedState& state, ReviewSource source) {
    const auto found = state.snapshots.find(source);
    return found == state.snapshots.end() ? nullptr : found->second;
}

}  // namespace

const DerivedQueue::Base& DerivedQueue::base(Date cutoff) {
    const PublishedState& state = publisher_.state();
    const std::array snapshots{snapshotOf(state, ReviewSource::messages), snapshotOf(state, ReviewSource::gmail)};
    const bool current = base_ && base_->snapshots == snapshots &&
                         base_->contactsPermission == state.contactsPermission &&
                         base_->contactsOnly == state.contactsOnly && base_->list.validAfter < cutoff &&
                         cutoff <= base_->list.validUntil;
    if (!current) {
        base_ = Base{
            .snapshots = snapshots,
            .contactsPermission = state.contactsPermission,
            .contactsOnly = state.contactsOnly,
            .list = QueueDerivation::baseItems(state, cutoff, memo_),
            .generation = ++generations_,
        };
    }
    return *base_;
}

const DerivedQueue::Sorted& DerivedQueue::sorted(Date cutoff) {
    const Base& current = base(cutoff);
    const QueueSort sort = publisher_.state().queueSort;
    if (!sorted_ || sorted_->baseGeneration != current.generation || sorted_->sort != sort) {
        sorted_ = Sorted{.baseGeneration = current.generation,
                         .sort = sort,
                         .order = QueueDerivation::sortedOrder(current.list, sort),
                         .generation = ++generations_};
    }
    return *sorted_;
}

const DerivedQueue::Visible& DerivedQueue::visibleStage(Date cutoff) {
    const Sorted& order = sorted(cutoff);
    const Completion& marks = completion(cutoff);
    const PublishedState& state = publisher_.state();
    const uint64_t completedWrites = marks.completedWrites;
    const bool sameFilters =
        visible_ && visible_->sortedGeneration == order.generation && visible_->sourceFilter == state.sourceFilter &&
        visible_->statusFilter == state.statusFilter && visible_->completionScope == state.completionScope &&
        visible_->completedWrites == completedWrites;
    if (sameFilters && visible_->search == state.search) {
        return *visible_;
    }
    std::string query = QueueDerivation::searchQuery(state);
    if (sameFilters && visible_->query == query) {
        visible_->search = state.search;  // only blanks around the query changed
        return *visible_;
    }
    // A longer query finds a part of what the shorter one found, in the same order.
    const bool narrows = sameFilters && !visible_->query.empty() && query.find(visible_->query) != std::string::npos;
    std::vector<uint32_t> places = QueueDerivation::visibleFrom(narrows ? visible_->places : order.order, base_->list,
                                                                marks.completed, state, query, memo_);
    // The same items as before are the same list, which the screens then need not look at again.
    std::shared_ptr<const QueueItems> items;
    if (visible_ && visible_->sortedGeneration == order.generation && visible_->places == places) {
        items = visible_->items;
    } else {
        std::vector<const ReviewItem*> shown;
        shown.reserve(places.size());
        for (const uint32_t place : places) {
            shown.push_back(base_->list.items[place].item);
        }
        items = itemsOf(shown, *base_);
    }
    visible_ = Visible{
        .sortedGeneration = order.generation,
        .sourceFilter = state.sourceFilter,
        .statusFilter = state.statusFilter,
        .completionScope = state.completionScope,
        .completedWrites = completedWrites,
        .search = state.search,
        .query = std::move(query),
        .places = std::move(places),
        .items = std::move(items),
    };
    return *visible_;
}

std::shared_ptr<const QueueItems> DerivedQueue::itemsOf(const std::vector<const ReviewItem*>& items,
                                                        const Base& base) const {
    std::vector<std::shared_ptr<const ReviewSnapshot>> owners;
    for (const auto& snapshot : base.snapshots) {
        if (snapshot) {
            owners.push_back(snapshot);
        }
    }
    return std::make_shared<const QueueItems>(items, std::move(owners));
}

std::shared_ptr<const QueueItems> DerivedQueue::visible(Date cutoff) {
    return visibleStage(cutoff).items;
}

std::shared_ptr<const QueueItems> DerivedQueue::sourceScoped(Date cutoff) {
    const Base& current = base(cutoff);
    std::vector<const ReviewItem*> items;
    for (const QueueDerivation::ItemRef& ref : QueueDerivation::sourceScoped(current.list.items, publisher_.state())) {
        items.push_back(ref.item);
    }
    return itemsOf(items, current);
}

std::shared_ptr<const ReviewItem> DerivedQueue::selected(Date cutoff) {
    std::shared_ptr<const QueueItems> items = visible(cutoff);
    const std::optional<std::string>& id = publisher_.state().selectedItemID;
    if (selected_ && selected_->visible == items && selected_->selectedItemID == id) {
        return selected_->item;
    }
    const ReviewItem* chosen = id ? items->find(*id) : nullptr;
    if (!chosen && !items->empty()) {
        chosen = &items->front();
    }
    std::shared_ptr<const ReviewItem> item = chosen ? std::shared_ptr<const ReviewItem>(items, chosen) : nullptr;
    selected_ = Selected{.visible = std::move(items), .selectedItemID = id, .item = item};
    return item;
}

const DerivedQueue::Completion& DerivedQueue::completion(Date cutoff) {
    const Base& current = base(cutoff);
    const uint64_t completedWrites = publisher_.writes(StateField::completed);
    if (!completion_ || completion_->baseGeneration != current.generation ||
        completion_->completedWrites != completedWrites) {
        Completion made{.baseGeneration = current.generation,
                        .completedWrites = completedWrites,
                        .completed = QueueDerivation::completedFlags(current.list, publisher_.state())};
        for (std::size_t i = 0; i < current.list.items.size(); ++i) {
            if (made.completed[i]) {
                ++made.completedCount;
            } else if (current.list.items[i].item->source == ReviewSource::messages) {
                ++made.openMessages;
            } else {
                ++made.openGmail;
            }
        }
        completion_ = std::move(made);
    }
    return *completion_;
}

int64_t DerivedQueue::openCount(std::optional<ReviewSource> source, Date cutoff) {
    const Completion& made = completion(cutoff);
    if (!source) {
        return made.openMessages + made.openGmail;
    }
    return *source == ReviewSource::messages ? made.openMessages : made.openGmail;
}

int64_t DerivedQueue::completedCount(Date cutoff) {
    return completion(cutoff).completedCount;
}

}  // namespace nudgerly
