// Members that the state object's later operations fill in. Each is declared where it belongs and
// defined here as a placeholder, so the window can be built against the whole interface now.
#include "state/AppStateView.h"

namespace nudgerly {

std::string AppStateView::lastRefreshLabel(ReviewSource source) const {
    return state().snapshot(source) ? "" : "Never refreshed";
}

}  // namespace nudgerly
