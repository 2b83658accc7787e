#include "state/QueueDerivation.h"

#include <algorithm>
#include <array>
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

bool passesContactsOnly(const ReviewItem& item, const PublishedState& state) {
    return !state.contactsOnly || item.source != ReviewSource::messages || item.isKnownContact.value_or(false);
}

int statusRank(const ReviewItem& item) {
    return static_cast<int>(item.status);
}

// Absent times sort as the distant past (newest first) or the distant future (oldest first), so
// undated items come last either way.
double timeOrPast(const ReviewItem& item) {
    return item.timestamp ? item.timestamp->secondsSinceReferenceDate : -std::numeric_limits<double>::infinity();
}
double timeOrFuture(const ReviewItem& item) {
    return item.timestamp ? item.timestamp->secondsSinceReferenceDate : std::numeric_limits<double>::infinity();
}

std::string days(int64_t count) {
    return std::to_string(count);
}

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
    return *state.sourceFilter == ReviewSource::messages ? state.refreshLookbacks.messages
                                                         : state.refreshLookbacks.gmail;
}

Date lookbackCutoff(const PublishedState& state, Date now, LocalCalendar& calendar) {
    // Off the queue no view is shown: the counts beside the sidebar's rows are those of all sources, not
    // of whichever view was open last.
    const LookbackWindow lookback =
        state.section == Section::queue ? viewLookback(state) : state.refreshLookbacks.combined;
    return calendar.addingDays(now, -toRaw(lookback)).value_or(now);
}

bool isCompleted(const ReviewItem& item, const PublishedState& state) {
    return state.completed.contains(completionIdentity(item));
}

BaseList baseItems(const PublishedState& state, Date cutoff, SnapshotMemo& memo) {
    BaseList base{.validAfter = Date{-std::numeric_limits<double>::infinity()},
                  .validUntil = Date{std::numeric_limits<double>::infinity()}};
    if (!allowsReadingContacts(state.contactsPermission)) {
        return base;
    }
    for (std::size_t slot = 0; slot < bothSources.size(); ++slot) {
        const auto found = state.snapshots.find(bothSources[slot]);
        if (found == state.snapshots.end() || !found->second) {
            continue;
        }
        const auto& snapshotItems = found->second->items;
        const auto answers = memo.answers(found->second, false);
        for (std::size_t i = 0; i < snapshotItems.size(); ++i) {
            const ReviewItem& item = snapshotItems[i];
            if (answers->hidden[i] || !passesContactsOnly(item, state)) {
                continue;
            }
            if (item.timestamp && *item.timestamp < cutoff) {
                base.validAfter = std::max(base.validAfter, *item.timestamp);
                continue;
            }
            if (item.timestamp) {
                base.validUntil = std::min(base.validUntil, *item.timestamp);
            }
            base.items.push_back({&item, static_cast<uint32_t>(i), static_cast<uint8_t>(slot)});
        }
    }
    return base;
}

std::vector<ItemRef> sourceScoped(const std::vector<ItemRef>& items, const PublishedState& state) {
    std::vector<ItemRef> scoped;
    for (const ItemRef& ref : items) {
        if (!state.sourceFilter || ref.item->source == *state.sourceFilter) {
            scoped.push_back(ref);
        }
    }
    return scoped;
}

std::vector<uint32_t> sortedOrder(const BaseList& base, QueueSort sort) {
    std::vector<uint32_t> order(base.items.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<uint32_t>(i);
    }
    const ItemOrder before(sort);
    std::ranges::stable_sort(order,
                             [&](uint32_t a, uint32_t b) { return before(*base.items[a].item, *base.items[b].item); });
    return order;
}

std::vector<bool> completedFlags(const BaseList& base, const PublishedState& state) {
    std::vector<bool> flags;
    flags.reserve(base.items.size());
    for (const ItemRef& ref : base.items) {
        flags.push_back(isCompleted(*ref.item, state));
    }
    return flags;
}

std::string searchQuery(const PublishedState& state) {
    return text::lowercased(text::trimmed(state.search));
}

std::vector<uint32_t> visibleFrom(const std::vector<uint32_t>& candidates, const BaseList& base,
                                  const std::vector<bool>& completed, const PublishedState& state,
                                  std::string_view query, SnapshotMemo& memo) {
    // The search texts of both snapshots, held while the list is filtered.
    std::array<std::shared_ptr<const SnapshotMemo::Answers>, bothSources.size()> answers;
    if (!query.empty()) {
        for (std::size_t slot = 0; slot < bothSources.size(); ++slot) {
            const auto found = state.snapshots.find(bothSources[slot]);
            if (found != state.snapshots.end() && found->second) {
                answers[slot] = memo.answers(found->second, true);
            }
        }
    }
    const bool showCompleted = state.completionScope == QueueCompletionScope::completed;
    std::vector<uint32_t> visible;
    for (const uint32_t place : candidates) {
        const ItemRef& ref = base.items[place];
        const ReviewItem& item = *ref.item;
        if ((state.sourceFilter && item.source != *state.sourceFilter) ||
            (state.statusFilter && item.status != *state.statusFilter) || completed[place] != showCompleted) {
            continue;
        }
        if (!query.empty() && !answers[ref.slot]->searchTexts.contains(ref.index, query)) {
            continue;
        }
        visible.push_back(place);
    }
    return visible;
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
    const auto result =
        collation_->collator->compareUTF8(icu::StringPiece(first.data(), static_cast<int32_t>(first.size())),
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
        if (const auto found = state.refreshProgressBySource.find(source);
            found != state.refreshProgressBySource.end()) {
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
