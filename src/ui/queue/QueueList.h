#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "review/LookbackWindow.h"
#include "review/QueueSort.h"
#include "review/ReviewItem.h"
#include "review/ReviewStatus.h"
#include "state/AppStateView.h"
#include "state/QueueItems.h"

// The rules of the queue list pane that need no widget: its texts, whether the list is grouped by
// status and how. Worked out afresh from the state on every sync.
namespace nudgerly::QueueList {

// One status group of the list: its items in the order of the visible list.
struct Section {
    ReviewStatus status = ReviewStatus::reply;
    std::vector<const ReviewItem*> items;  // into the list they were grouped from
};

// "Priority", "Newest first", "Oldest first", "Action type".
std::string_view sortName(QueueSort sort);
// "3 days" ... "90 days".
std::string lookbackName(LookbackWindow window);

// "Completed" in the completed view, otherwise "Queue".
std::string_view queueTitle(const PublishedState& state);
// Names the order, or the completed view whatever the order.
std::string_view queueSubtitle(const PublishedState& state);
// "Last refreshed …" for one source; both sources' labels joined by " · " in the combined view.
std::string lastRefreshSummary(const AppStateView& view);
// With no status filter and the priority or action-type order.
bool shouldGroupByStatus(const PublishedState& state);
// The items by status (reply, action, optional), keeping their order; statuses without items get no
// section.
std::vector<Section> sectionsOf(const QueueItems& items);

// The help text of the known-contacts toggle, which names limited Contacts sharing when it applies.
std::string_view contactsOnlyHelp(const PublishedState& state);

// Whether the item's completion identity is among the completed ones.
bool isCompleted(const PublishedState& state, const ReviewItem& item);

// A count written with the user's locale's integer format, with grouping ("1,234" in English).
std::string localizedCount(int64_t count);

}  // namespace nudgerly::QueueList
