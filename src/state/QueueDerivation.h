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

// What the queue screens draw, worked out from the published state. Nothing here writes state or keeps
// anything: DerivedQueue keeps the lists per change. The lists take the lookback's cut-off instant,
// which `lookbackCutoff` gives for the current moment, and a memo of the exclusion rules' answers,
// which only saves their cost.
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
// The same wall-clock time as `now`, the view's lookback in calendar days earlier in the user's zone
// (the all-sources lookback while a page other than the queue is shown); `now` itself when the
// calendar cannot say.
Date lookbackCutoff(const PublishedState& state, Date now, LocalCalendar& calendar);

// One item of a derived list: where it is, and which snapshot (0: Messages, 1: Gmail) holds it at
// which index, so that what the memo worked out for it can be found.
struct ItemRef {
    const ReviewItem* item = nullptr;
    uint32_t index = 0;
    uint8_t slot = 0;
};

// The base list: both sources' items that pass Contacts access, the sender and notice exclusions, the
// lookback cut and the contacts-only filter, Messages first, each in snapshot order. It stays the same
// for every cut-off after `validAfter` and up to `validUntil`: no item's time lies between.
struct BaseList {
    std::vector<ItemRef> items;
    Date validAfter;
    Date validUntil;
};
BaseList baseItems(const PublishedState& state, Date cutoff, SnapshotMemo& memo);

// The items of the source filter's source, in their order.
std::vector<ItemRef> sourceScoped(const std::vector<ItemRef>& items, const PublishedState& state);

// The places of the base list's items in a stable sort of the state's order. Sorting the base list once
// and filtering it afterwards gives what filtering first and sorting then gives: no filter changes the
// order of what it keeps.
std::vector<uint32_t> sortedOrder(const BaseList& base, QueueSort sort);
// Per item of the base list, whether it is completed.
std::vector<bool> completedFlags(const BaseList& base, const PublishedState& state);

// What the queue lists, as places in the base list, from `candidates` (its sorted order, or a list
// already narrowed by a search that the state's search contains): the source filter, the status
// filter, the completion scope, then the search (`query`, the state's searchQuery, in the item's search
// text).
std::vector<uint32_t> visibleFrom(const std::vector<uint32_t>& candidates, const BaseList& base,
                                  const std::vector<bool>& completed, const PublishedState& state,
                                  std::string_view query, SnapshotMemo& memo);
// The query of the state's search: trimmed and lowercased; empty means no search.
std::string searchQuery(const PublishedState& state);

// Whether the item's completion identity is among the completed ones.
bool isCompleted(const ReviewItem& item, const PublishedState& state);

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
