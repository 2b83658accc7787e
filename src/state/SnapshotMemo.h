#pragma once

#include <memory>
#include <string>
#include <vector>

#include "review/ReviewSnapshot.h"

namespace nudgerly {

// What the queue derivation works out from an item's own text: whether the sender and notice
// exclusions hide it, and its lowercased search text. A snapshot is never edited, so both are worked
// out once per snapshot object and stay right until it is replaced. The queue is derived again after
// every change, and these are by far its costliest parts. Main thread only.
class SnapshotMemo {
public:
    // One entry per item of the snapshot, in its order.
    struct Answers {
        std::vector<bool> hidden;              // the item is hidden by the exclusions
        std::vector<std::string> searchTexts;  // empty until asked for
    };

    // The answers for `snapshot`, with the search texts when asked. They stay valid until the next call.
    const Answers& answers(const std::shared_ptr<const ReviewSnapshot>& snapshot, bool withSearchTexts);

    // The same answers, worked out afresh.
    static bool isHidden(const ReviewItem& item);
    // Person, summary, verdict and tags, one blank apart, lowercased.
    static std::string searchText(const ReviewItem& item);

private:
    struct Entry {
        std::weak_ptr<const ReviewSnapshot> snapshot;
        const ReviewSnapshot* address = nullptr;
        Answers answers;
    };

    // A handful: the snapshots of both sources, plus ones just replaced.
    std::vector<Entry> entries_;
};

}  // namespace nudgerly
