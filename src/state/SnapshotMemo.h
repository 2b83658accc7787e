#pragma once

#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "review/ReviewSnapshot.h"
#include "state/SearchTexts.h"

namespace nudgerly {

// What the queue derivation works out from an item's own text: whether the sender and notice
// exclusions hide it, and its lowercased search text. A snapshot is never edited, so both are worked
// out once per snapshot object and stay right until it is replaced. They are the costliest part of
// the derivation: the state object has them worked out off the main thread by the worker that made or
// read the snapshot, and hands them over as it publishes it; whatever was not handed over is worked
// out here when first needed. Main thread only, apart from `workOut`.
class SnapshotMemo {
public:
    // One entry per item of the snapshot, in its order.
    struct Answers {
        std::vector<bool> hidden;  // the item is hidden by the exclusions
        SearchTexts searchTexts;   // empty until asked for
    };

    // Both answers for every item, on any thread. Throws CancelledError once `stop` is requested.
    static Answers workOut(const ReviewSnapshot& snapshot, std::stop_token stop);

    // Keeps answers worked out elsewhere for `snapshot`; both lists must hold one entry per item.
    void adopt(const std::shared_ptr<const ReviewSnapshot>& snapshot, Answers answers);

    // The answers for `snapshot`, with the search texts when asked. Later calls may fill in the search
    // texts but change nothing else.
    std::shared_ptr<const Answers> answers(const std::shared_ptr<const ReviewSnapshot>& snapshot, bool withSearchTexts);

    // The same answers, worked out afresh.
    static bool isHidden(const ReviewItem& item);
    // Person, summary, verdict and tags, one blank apart, lowercased.
    static std::string searchText(const ReviewItem& item);

private:
    struct Entry {
        std::weak_ptr<const ReviewSnapshot> snapshot;
        const ReviewSnapshot* address = nullptr;
        std::shared_ptr<Answers> answers;
    };

    // The live entry of `snapshot`, made (empty) when there is none.
    Entry& entry(const std::shared_ptr<const ReviewSnapshot>& snapshot);

    // A handful: the snapshots of both sources, plus ones just replaced.
    std::vector<Entry> entries_;
};

}  // namespace nudgerly
