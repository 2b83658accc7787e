#include "ui/shell/ActivityBarModel.h"

namespace nudgerly {

std::string_view ActivityBarModel::symbol() const {
    switch (leading) {
        case Leading::warning: return "exclamationmark.triangle";
        case Leading::check: return "checkmark.circle";
        case Leading::none:
        case Leading::spinner: break;
    }
    return {};
}

bool queueShowsRefreshBanner(const AppStateView& state) {
    return state.state().section == Section::queue && !state.visibleRefreshProgresses().empty();
}

ActivityBarModel activityBarModel(const AppStateView& state) {
    const PublishedState& published = state.state();
    const std::vector<RefreshProgress> progresses = state.visibleRefreshProgresses();
    ActivityBarModel model;
    model.statusText = progresses.empty() ? published.activity : progresses.front().detail;
    if (published.section == Section::queue) {
        model.rangeSummary = state.rangeSummary();
    }
    if (queueShowsRefreshBanner(state)) {
        model.leading = ActivityBarModel::Leading::none;
    } else if (state.isRefreshing()) {
        model.leading = ActivityBarModel::Leading::spinner;
    } else {
        model.leading = published.errorMessage ? ActivityBarModel::Leading::warning : ActivityBarModel::Leading::check;
    }
    return model;
}

}  // namespace nudgerly
