#pragma once

#include "review/LookbackWindow.h"

namespace nudgerly {

// The lookback window of the combined view and of each source's own view.
struct RefreshLookbacks {
    LookbackWindow combined = LookbackWindow::seven;
    LookbackWindow messages = LookbackWindow::seven;
    LookbackWindow gmail = LookbackWindow::seven;

    friend bool operator==(const RefreshLookbacks&, const RefreshLookbacks&) = default;
};

}  // namespace nudgerly
