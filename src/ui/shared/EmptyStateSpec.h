#pragma once

#include <string>
#include <variant>
#include <vector>

#include "review/LookbackWindow.h"
#include "review/ReviewSource.h"

namespace nudgerly {

// What a button of an empty state does when pressed.
namespace EmptyStateActions {
struct OpenFullDiskAccess {
    friend bool operator==(const OpenFullDiskAccess&, const OpenFullDiskAccess&) = default;
};
struct CheckAgain {
    friend bool operator==(const CheckAgain&, const CheckAgain&) = default;
};
// Shows the accounts page.
struct OpenAccounts {
    friend bool operator==(const OpenAccounts&, const OpenAccounts&) = default;
};
struct RefreshSource {
    ReviewSource source = ReviewSource::messages;
    LookbackWindow lookback = LookbackWindow::seven;
    friend bool operator==(const RefreshSource&, const RefreshSource&) = default;
};
struct RefreshAll {
    LookbackWindow lookback = LookbackWindow::seven;
    friend bool operator==(const RefreshAll&, const RefreshAll&) = default;
};
}  // namespace EmptyStateActions

using EmptyStateAction =
    std::variant<EmptyStateActions::OpenFullDiskAccess, EmptyStateActions::CheckAgain, EmptyStateActions::OpenAccounts,
                 EmptyStateActions::RefreshSource, EmptyStateActions::RefreshAll>;

struct EmptyStateButton {
    std::string text;
    bool prominent = false;
    bool enabled = true;
    EmptyStateAction action;

    friend bool operator==(const EmptyStateButton&, const EmptyStateButton&) = default;
};

// Why the queue lists nothing, in the order the reasons are tried.
enum class EmptyStateKind { initialRefresh, unscanned, nothingCompleted, nothingScanned, noMatches, caughtUp };

// One empty state: a placeholder with a symbol, title, description and buttons, or, for the first scan,
// a note with no symbol and no buttons. PanePlaceholder draws it; other panes use it for their own
// placeholders and leave `kind` alone.
struct EmptyStateSpec {
    EmptyStateKind kind = EmptyStateKind::caughtUp;
    std::string title;
    std::string symbol;  // empty for the first-scan note
    std::string description;
    std::vector<EmptyStateButton> buttons;

    friend bool operator==(const EmptyStateSpec&, const EmptyStateSpec&) = default;
};

}  // namespace nudgerly
