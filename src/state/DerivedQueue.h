#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Date.h"
#include "review/ReviewItem.h"
#include "state/QueueDerivation.h"
#include "state/QueueItems.h"
#include "state/SnapshotMemo.h"
#include "state/StatePublisher.h"

namespace nudgerly {

// The queue's lists and counts for the published state, worked out once per change and shared by every
// screen that reads them: the list, the detail pane, the command centre and the sidebar's counts. Each
// stage is kept with what it was worked out from, and is worked out again as soon as any of that was
// written since, or the lookback's cut-off has moved past an item's time; so every read answers what
// working it out afresh would, and nothing goes stale. Stages: the base list (snapshots, Contacts
// access, contacts-only, the cut-off), its sorted order (the sort order), its completion marks and
// counts (the completed set), and the visible list (source and status filters, completion scope,
// search).
// A search that extends the previous one narrows the previous visible list instead of the whole.
// Main thread only.
class DerivedQueue {
public:
    explicit DerivedQueue(const StatePublisher& publisher) : publisher_(publisher) {}

    std::shared_ptr<const QueueItems> visible(Date cutoff);
    // The base list restricted to the source filter, in snapshot order.
    std::shared_ptr<const QueueItems> sourceScoped(Date cutoff);
    // The visible item with the selected id, else the first visible item; null when nothing is visible.
    std::shared_ptr<const ReviewItem> selected(Date cutoff);
    // Open items of the base list for one source or (none) both.
    int64_t openCount(std::optional<ReviewSource> source, Date cutoff);
    // Completed items of the base list, both sources.
    int64_t completedCount(Date cutoff);

    SnapshotMemo& memo() { return memo_; }

private:
    struct Base {
        std::array<std::shared_ptr<const ReviewSnapshot>, 2> snapshots;  // Messages, Gmail
        ContactsPermission contactsPermission = ContactsPermission::notDetermined;
        bool contactsOnly = false;
        QueueDerivation::BaseList list;
        uint64_t generation = 0;
    };
    struct Sorted {
        uint64_t baseGeneration = 0;
        QueueSort sort = QueueSort::priority;
        std::vector<uint32_t> order;  // places in the base list
        uint64_t generation = 0;
    };
    struct Visible {
        uint64_t sortedGeneration = 0;
        std::optional<ReviewSource> sourceFilter;
        std::optional<ReviewStatus> statusFilter;
        QueueCompletionScope completionScope = QueueCompletionScope::open;
        uint64_t completedWrites = 0;
        std::string search;            // as published
        std::string query;             // as searched
        std::vector<uint32_t> places;  // in the base list
        std::shared_ptr<const QueueItems> items;
    };
    // What the completion marks make of the base list.
    struct Completion {
        uint64_t baseGeneration = 0;
        uint64_t completedWrites = 0;
        std::vector<bool> completed;  // per item of the base list
        int64_t openMessages = 0;
        int64_t openGmail = 0;
        int64_t completedCount = 0;
    };
    struct Selected {
        std::shared_ptr<const QueueItems> visible;
        std::optional<std::string> selectedItemID;
        std::shared_ptr<const ReviewItem> item;
    };

    const Base& base(Date cutoff);
    const Sorted& sorted(Date cutoff);
    const Visible& visibleStage(Date cutoff);
    const Completion& completion(Date cutoff);
    std::shared_ptr<const QueueItems> itemsOf(const std::vector<const ReviewItem*>& items, const Base& base) const;

    const StatePublisher& publisher_;
    SnapshotMemo memo_;
    uint64_t generations_ = 0;
    std::optional<Base> base_;
    std::optional<Sorted> sorted_;
    std::optional<Visible> visible_;
    std::optional<Completion> completion_;
    std::optional<Selected> selected_;
};

}  // namespace nudgerly
