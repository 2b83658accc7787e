#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "state/AppStateView.h"

namespace nudgerly {

// What the activity bar under every page shows, decided from the state alone.
struct ActivityBarModel {
    // What opens the bar: nothing (the queue's own banner carries the progress), a spinner while work
    // runs, else a warning or a check.
    enum class Leading { none, spinner, warning, check };

    Leading leading = Leading::check;
    // The first visible refresh step, else the activity line; shown with the leading group only.
    std::string statusText;
    // The lookback summary, on the queue page only.
    std::optional<std::string> rangeSummary;

    // The symbol of a warning or a check; empty for the others.
    std::string_view symbol() const;

    friend bool operator==(const ActivityBarModel&, const ActivityBarModel&) = default;
};

// The queue page is shown and carries refresh progress in its own banner.
bool queueShowsRefreshBanner(const AppStateView& state);

ActivityBarModel activityBarModel(const AppStateView& state);

}  // namespace nudgerly
