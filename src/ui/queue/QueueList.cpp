#include "ui/queue/QueueList.h"

#include <algorithm>
#include <array>

#include <QLocale>

#include "state/QueueDerivation.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly::QueueList {

std::string_view sortName(QueueSort sort) {
    switch (sort) {
        case QueueSort::priority: return "Priority";
        case QueueSort::newest: return "Newest first";
        case QueueSort::oldest: return "Oldest first";
        case QueueSort::type: return "Action type";
    }
    return "";
}

std::string lookbackName(LookbackWindow window) {
    return std::to_string(toRaw(window)) + " days";
}

std::string_view queueTitle(const PublishedState& state) {
    return state.completionScope == QueueCompletionScope::completed ? "Completed" : "Queue";
}

std::string_view queueSubtitle(const PublishedState& state) {
    if (state.completionScope == QueueCompletionScope::completed) {
        return "Conversations you cleared";
    }
    switch (state.queueSort) {
        case QueueSort::priority: return "Highest priority first";
        case QueueSort::newest: return "Newest conversations first";
        case QueueSort::oldest: return "Stalest conversations first";
        case QueueSort::type: return "Grouped by action type";
    }
    return "";
}

std::string lastRefreshSummary(const AppStateView& view) {
    if (const auto source = view.state().sourceFilter) {
        // "Never refreshed" says it all; "Last refreshed" before it would not read.
        return view.state().snapshot(*source) ? "Last refreshed " + view.lastRefreshLabel(*source)
                                              : view.lastRefreshLabel(*source);
    }
    std::string summary;
    for (const ReviewSource source : allCases<ReviewSource>()) {
        if (!summary.empty()) {
            summary += " \u00B7 ";
        }
        summary += std::string(ReviewDisplay::sourceName(source)) + " " + view.lastRefreshLabel(source);
    }
    return summary;
}

bool shouldGroupByStatus(const PublishedState& state) {
    return !state.statusFilter && (state.queueSort == QueueSort::priority || state.queueSort == QueueSort::type);
}

std::vector<Section> sectionsOf(const QueueItems& items) {
    constexpr auto statuses = allCases<ReviewStatus>();
    std::array<Section, statuses.size()> all;
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        all[i].status = statuses[i];
    }
    for (const ReviewItem& item : items) {
        all[static_cast<std::size_t>(std::ranges::find(statuses, item.status) - statuses.begin())].items.push_back(
            &item);
    }
    std::vector<Section> sections;
    for (Section& section : all) {
        if (!section.items.empty()) {
            sections.push_back(std::move(section));
        }
    }
    return sections;
}

std::string_view contactsOnlyHelp(const PublishedState& state) {
    return state.contactsPermission == ContactsPermission::limited
               ? "Show Messages only when the latest sender is among the contacts shared with Nudgerly"
               : "Show Messages only when the latest sender is in Contacts";
}

bool isCompleted(const PublishedState& state, const ReviewItem& item) {
    return state.completed.contains(QueueDerivation::completionIdentity(item));
}

std::string localizedCount(int64_t count) {
    return QLocale().toString(static_cast<qlonglong>(count)).toStdString();
}

}  // namespace nudgerly::QueueList
