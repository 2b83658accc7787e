#include "state/QueueDerivation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <unicode/coll.h>
#include <unicode/locid.h>

#include "core/RawEnum.h"
#include "core/Text.h"
#include "review/RefreshLaunchPolicy.h"

namespace nudgerly::QueueDerivation {
namespace {

constexpr std::array bothSources{ReviewSource::messages, ReviewSource::gmail};

bool isCompleted(const ReviewItem& item, const PublishedState& state) {
    return state.completed.contains(completionIdentity(item));
}

bool passesContactsOnly(const ReviewItem& item, const PublishedState& state) {
    return !state.contactsOnly || item.source != ReviewSource::messages || item.isKnownContact.value_or(false);
}

// The base list: Messages items first, then Gmail, each in snapshot order. Pointers into the
// published snapshots, valid while the state is unchanged. With a query, only items whose search text
// holds it; every filter keeps the order, so searching here gives what searching last would.
std::vector<const ReviewItem*> queueBaseItems(const PublishedState& state, Date cutoff, SnapshotMemo& memo,
                                              std::string_view query = {}) {
    std::vector<const ReviewItem*> items;
    if (!allowsReadingContacts(state.contactsPermission)) {
        return items;
    }
    for (const ReviewSource source : bothSources) {
        const auto found = state.snapshots.find(source);
        if (found == state.snapshots.end() || !found->second) {
            continue;
        }
        const auto& snapshotItems = found->second->items;
        const SnapshotMemo::Answers& answers = memo.answers(found->second, !query.empty());
        for (std::size_t i = 0; i < snapshotItems.size(); ++i) {
            const ReviewItem& item = snapshotItems[i];
            const bool beforeCutoff = item.timestamp && *item.timestamp < cutoff;
            const bool matches = query.empty() || answers.searchTexts[i].find(query) != std::string::npos;
            if (!answers.hidden[i] && !beforeCutoff && passesContactsOnly(item, state) && matches) {
                items.push_back(&item);
            }
        }
    }
    return items;
}

std::vector<const ReviewItem*> scopedItems(const PublishedState& state, Date cutoff, SnapshotMemo& memo,
                                           std::string_view query = {}) {
    auto items = queueBaseItems(state, cutoff, memo, query);
    if (state.sourceFilter) {
        std::erase_if(items, [&](const ReviewItem* item) { return item->source != *state.sourceFilter; });
    }
    return items;
}

std::vector<const ReviewItem*> visible(const PublishedState& state, Date cutoff, SnapshotMemo& memo) {
    auto items = scopedItems(state, cutoff, memo, text::lowercased(text::trimmed(state.search)));
    const bool showCompleted = state.completionScope == QueueCompletionScope::completed;
    std::erase_if(items, [&](const ReviewItem* item) {
        return (state.statusFilter && item->status != *state.statusFilter) || isCompleted(*item, state) != showCompleted;
    });
    const ItemOrder order(state.queueSort);
    std::ranges::stable_sort(items, [&](const ReviewItem* a, const ReviewItem* b) { return order(*a, *b); });
    return items;
}

std::vector<ReviewItem> copies(const std::vector<const ReviewItem*>& items) {
    std::vector<ReviewItem> result;
    result.reserve(items.size());
    for (const ReviewItem* item : items) {
        result.push_back(*item);
    }
    return result;
}

int statusRank(const ReviewItem& item) { return static_cast<int>(item.status); }

// Absent times sort as the distant past (newest first) or the distant future (oldest first), so
// undated items come last either way.
double timeOrPast(const ReviewItem& item) {
    return item.timestamp ? item.timestamp->secondsSinceReferenceDate : -std::numeric_limits<double>::infinity();
}
double timeOrFuture(const ReviewItem& item) {
    return item.timestamp ? item.timestamp->secondsSinceReferenceDate : std::numeric_limits<double>::infinity();
}

std::string days(int64_t count) { return std::to_string(count); }

}  // namespace

const std::string& completionIdentity(const ReviewItem& item) {
    return item.completionKey ? *item.completionKey : item.id;
}

int64_t effectivePriority(const ReviewItem& item) {
    if (item.priority) {
        return *item.priority;
    }
    switch (item.status) {
        case ReviewStatus::reply: return 70;
        case ReviewStatus::action: return 65;
        case ReviewStatus::nudgerly: return 25;
    }
    return 25;
}

int64_t savedDays(const ReviewSnapshot& snapshot) {
    const double rounded = std::round(snapshot.windowEnd.secondsSince(snapshot.windowStart) / 86'400.0);
    // Also keeps a reversed or non-finite window from reaching the integer conversion.
    if (!(rounded >= 1)) {
        return 1;
    }
    return rounded < 1e15 ? static_cast<int64_t>(rounded) : int64_t{1'000'000'000'000'000};
}

std::vector<ReviewSource> viewSources(const PublishedState& state) {
    if (state.sourceFilter) {
        return {*state.sourceFilter};
    }
    return {bothSources.begin(), bothSources.end()};
}

LookbackWindow viewLookback(const PublishedState& state) {
    if (!state.sourceFilter) {
        return state.refreshLookbacks.combined;
    }
    return *state.sourceFilter == ReviewSource::messages ? state.refreshLookbacks.messages : state.refreshLookbacks.gmail;
}

Date lookbackCutoff(const PublishedState& state, Date now, LocalCalendar& calendar) {
    return calendar.addingDays(now, -toRaw(viewLookback(state))).value_or(now);
}

std::vector<ReviewItem> sourceScopedItems(const PublishedState& state, Date cutoff, SnapshotMemo& memo) {
    return copies(scopedItems(state, cutoff, memo));
}

std::vector<ReviewItem> visibleItems(const PublishedState& state, Date cutoff, SnapshotMemo& memo) {
    return copies(visible(state, cutoff, memo));
}

std::optional<ReviewItem> selectedItem(const PublishedState& state, Date cutoff, SnapshotMemo& memo) {
    const auto items = visible(state, cutoff, memo);
    if (items.empty()) {
        return std::nullopt;
    }
    if (state.selectedItemID) {
        for (const ReviewItem* item : items) {
            if (item->id == *state.selectedItemID) {
                return *item;
            }
        }
    }
    return *items.front();
}

int64_t openQueueCount(const PublishedState& state, std::optional<ReviewSource> source, Date cutoff,
                       SnapshotMemo& memo) {
    const auto items = queueBaseItems(state, cutoff, memo);
    return std::ranges::count_if(items, [&](const ReviewItem* item) {
        return (!source || item->source == *source) && !isCompleted(*item, state);
    });
}

int64_t completedQueueCount(const PublishedState& state, Date cutoff, SnapshotMemo& memo) {
    const auto items = queueBaseItems(state, cutoff, memo);
    return std::ranges::count_if(items, [&](const ReviewItem* item) { return isCompleted(*item, state); });
}

struct ItemOrder::Collation {
    std::unique_ptr<icu::Collator> collator;
};

ItemOrder::ItemOrder(QueueSort sort) : sort_(sort), collation_(std::make_unique<Collation>()) {
    UErrorCode status = U_ZERO_ERROR;
    collation_->collator.reset(icu::Collator::createInstance(icu::Locale::getDefault(), status));
    if (U_FAILURE(status)) {
        collation_->collator.reset();
        return;
    }
    // Secondary strength tells accents apart but not case.
    collation_->collator->setStrength(icu::Collator::SECONDARY);
}

ItemOrder::~ItemOrder() = default;

bool ItemOrder::personBefore(std::string_view first, std::string_view second) const {
    if (!collation_->collator) {
        return text::lowercased(first) < text::lowercased(second);
    }
    UErrorCode status = U_ZERO_ERROR;
    const auto result = collation_->collator->compareUTF8(
        icu::StringPiece(first.data(), static_cast<int32_t>(first.size())),
        icu::StringPiece(second.data(), static_cast<int32_t>(second.size())), status);
    return U_SUCCESS(status) && result == UCOL_LESS;
}

bool ItemOrder::operator()(const ReviewItem& first, const ReviewItem& second) const {
    const bool groupsByStatus = sort_ == QueueSort::priority || sort_ == QueueSort::type;
    if (groupsByStatus && statusRank(first) != statusRank(second)) {
        return statusRank(first) < statusRank(second);
    }
    if (sort_ == QueueSort::priority && effectivePriority(first) != effectivePriority(second)) {
        return effectivePriority(first) > effectivePriority(second);
    }
    if (sort_ == QueueSort::oldest) {
        if (timeOrFuture(first) != timeOrFuture(second)) {
            return timeOrFuture(first) < timeOrFuture(second);
        }
    } else if (timeOrPast(first) != timeOrPast(second)) {
        return timeOrPast(first) > timeOrPast(second);
    }
    return personBefore(first.person, second.person);
}

std::vector<RefreshProgress> visibleRefreshProgresses(const PublishedState& state) {
    std::vector<RefreshProgress> progresses;
    if (state.completionScope == QueueCompletionScope::completed) {
        return progresses;
    }
    for (const ReviewSource source : viewSources(state)) {
        if (const auto found = state.refreshProgressBySource.find(source); found != state.refreshProgressBySource.end()) {
            progresses.push_back(found->second);
        }
    }
    return progresses;
}

bool isRefreshingCurrentView(const PublishedState& state) {
    return std::ranges::any_of(viewSources(state), [&](ReviewSource s) { return state.refreshingSources.contains(s); });
}

bool isSetUp(const PublishedState& state, ReviewSource source) {
    return source == ReviewSource::messages ? state.messagesPermission == MessagesPermission::granted
                                            : state.gmailStatus.connected;
}

bool canRefreshCurrentView(const PublishedState& state) {
    const auto targets = RefreshLaunchPolicy::launchableTargets(state.sourceFilter, state.refreshingSources);
    return std::ranges::any_of(targets, [&](ReviewSource source) { return isSetUp(state, source); });
}

std::string rangeSummary(const PublishedState& state) {
    const int64_t n = toRaw(viewLookback(state));
    const bool refreshing = !visibleRefreshProgresses(state).empty();
    std::vector<const ReviewSnapshot*> saved;
    for (const ReviewSource source : viewSources(state)) {
        if (const ReviewSnapshot* snapshot = state.snapshot(source)) {
            saved.push_back(snapshot);
        }
    }
    if (saved.empty()) {
        if (refreshing) {
            return "Loading the last " + days(n) + " days";
        }
        return "No saved " + days(n) + (state.sourceFilter ? " days scan" : " days scans");
    }
    const auto shortest = std::ranges::min(saved, {}, [](const ReviewSnapshot* s) { return savedDays(*s); });
    const int64_t covered = savedDays(*shortest);
    if (covered >= n) {
        return "Showing the last " + days(n) + " days";
    }
    if (refreshing) {
        return "Expanding saved history to " + days(n) + " days";
    }
    if (state.sourceFilter) {
        return "Saved history covers " + days(covered) + " days";
    }
    return "Saved history is shorter than " + days(n) + " days";
}

}  // namespace nudgerly::QueueDerivation
