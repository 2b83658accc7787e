#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Date.h"
#include "platform/system/LocalCalendar.h"
#include "review/LookbackWindow.h"
#include "review/RefreshProgress.h"
#include "review/ReviewItem.h"
#include "review/ReviewSnapshot.h"
#include "review/ReviewSource.h"
#include "state/PublishedState.h"
#include "state/SnapshotMemo.h"

// What the queue screens draw, worked out afresh from the published state on every read. Nothing
// here writes state. The lists take the lookback's cut-off instant, which `lookbackCutoff` gives for the
// current moment, and a memo of the exclusion rules' answers, which only saves their cost.
namespace nudgerly::QueueDerivation {

// An item's `completionKey`, or its `id` when it has none.
const std::string& completionIdentity(const ReviewItem& item);
// The item's priority, or by status: reply 70, action 65, optional follow-up 25.
int64_t effectivePriority(const ReviewItem& item);
// The snapshot's window in whole days, halves rounded away from zero, at least 1.
int64_t savedDays(const ReviewSnapshot& snapshot);

// The view's sources: the filtered one, or Messages then Gmail.
std::vector<ReviewSource> viewSources(const PublishedState& state);
// The lookback of the view that is shown.
LookbackWindow viewLookback(const PublishedState& state);
// The same wall-clock time as `now`, the view's lookback in calendar days earlier in the user's zone;
// `now` itself when the calendar cannot say.
Date lookbackCutoff(const PublishedState& state, Date now, LocalCalendar& calendar);

// The base list, restricted to the source filter. The base list holds both sources' items that pass
// Contacts access, the sender and notice exclusions, the lookback cut and the contacts-only filter,
// Messages first, each in snapshot order.
std::vector<ReviewItem> sourceScopedItems(const PublishedState& state, Date cutoff, SnapshotMemo& memo);
// What the queue lists: status filter, completion scope, search, then the chosen order (stable).
std::vector<ReviewItem> visibleItems(const PublishedState& state, Date cutoff, SnapshotMemo& memo);
// The visible item with the selected id, else the first visible item; none when nothing is visible.
std::optional<ReviewItem> selectedItem(const PublishedState& state, Date cutoff, SnapshotMemo& memo);
// Open items of the base list for one source or (none) both.
int64_t openQueueCount(const PublishedState& state, std::optional<ReviewSource> source, Date cutoff,
                       SnapshotMemo& memo);
// Completed items of the base list, both sources.
int64_t completedQueueCount(const PublishedState& state, Date cutoff, SnapshotMemo& memo);

// Whether `first` goes before `second` in the state's sort order. Names compare with the user's
// locale, ignoring case; build one comparer per sort, as making it is the costly part.
class ItemOrder {
public:
    explicit ItemOrder(QueueSort sort);
    ~ItemOrder();
    ItemOrder(const ItemOrder&) = delete;
    ItemOrder& operator=(const ItemOrder&) = delete;

    bool operator()(const ReviewItem& first, const ReviewItem& second) const;

private:
    bool personBefore(std::string_view first, std::string_view second) const;

    QueueSort sort_;
    struct Collation;
    std::unique_ptr<Collation> collation_;
};

// The progress lines of the view's sources, Messages first; none in the completed view.
std::vector<RefreshProgress> visibleRefreshProgresses(const PublishedState& state);
// Whether a source of the view is refreshing, whatever the completion scope.
bool isRefreshingCurrentView(const PublishedState& state);
// Messages can be read, or Gmail is connected: a refresh of the source has something to read.
bool isSetUp(const PublishedState& state, ReviewSource source);
// Whether a refresh of the view could start for at least one set-up source.
bool canRefreshCurrentView(const PublishedState& state);
// The header's line about the lookback window and the saved history.
std::string rangeSummary(const PublishedState& state);

}  // namespace nudgerly::QueueDerivation
