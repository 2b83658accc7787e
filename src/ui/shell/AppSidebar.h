#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "review/QueueCompletionScope.h"
#include "review/ReviewSource.h"
#include "state/PublishedState.h"
#include "ui/shared/SidebarStatusLine.h"

namespace nudgerly {

class AppStateView;

// The rows of the sidebar, in the order they are listed.
enum class SidebarDestination { queueAll, queueMessages, queueGmail, queueCompleted, accounts, privacy, feedback };

// What the sidebar shows and how its choice reaches the state object, apart from any widget.
namespace AppSidebar {

struct Row {
    SidebarDestination destination;
    std::string_view label;
    std::string_view symbol;

    friend bool operator==(const Row&, const Row&) = default;
};

struct Section {
    std::string_view title;
    std::vector<Row> rows;
};

// "Queue" (All, Messages, Gmail, Completed), then "Nudgerly" (Accounts, Privacy, Send Feedback).
const std::vector<Section>& sections();

// The count a queue row shows, 0 included; absent for the page rows.
std::optional<int64_t> count(const AppStateView& state, SidebarDestination destination);

// The row that stands for what the window shows.
SidebarDestination selection(const PublishedState& state);
// Carries out the choice of a row: a queue row asks for that queue, a page row opens the page.
void select(AppStateView& state, SidebarDestination destination);

struct LocalAIStatus {
    std::string value;
    bool good = false;
    bool neutral = false;

    friend bool operator==(const LocalAIStatus&, const LocalAIStatus&) = default;
};

LocalAIStatus localAIStatus(const PublishedState& state);

// "37%": received of total, rounded half away from zero and kept within 0...100; empty when total < 1.
std::string downloadPercent(int64_t received, int64_t total);

// The three lines under the list: Messages, Gmail, Local AI.
std::vector<SidebarStatusLineSpec> statusLines(const AppStateView& state);

}  // namespace AppSidebar
}  // namespace nudgerly
