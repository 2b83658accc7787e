// What the user does with one queue item: mark it done or open again, copy its suggested reply, and
// open the conversation in its own application.
#include <algorithm>
#include <vector>

#include "state/AppState.h"
#include "state/AppStateSettings.h"
#include "state/QueueDerivation.h"

namespace nudgerly {

void AppState::toggleCompleted(const ReviewItem& item) {
    assertMainThread();
    const std::string& identity = QueueDerivation::completionIdentity(item);
    auto completed = state().completed;
    if (!completed.erase(identity)) {
        completed.insert(identity);
    }
    storeCompleted(std::move(completed));
    reconcileSelection();
}

void AppState::storeCompleted(std::unordered_set<std::string> completed) {
    // Sorted, so that the same marks are always stored alike.
    std::vector<std::string> stored(completed.begin(), completed.end());
    std::ranges::sort(stored);
    settings_.setStringArray(AppStateSettings::completedItems, stored);
    publisher().setCompleted(std::move(completed));
}

void AppState::copyDraft(const ReviewItem& item) {
    assertMainThread();
    // An empty draft is still a draft: copying it empties the clipboard.
    if (!item.draft) {
        return;
    }
    dependencies_.clipboard->setText(*item.draft);
    lines().showActivity("Draft copied");
}

void AppState::open(const ReviewItem& item) {
    assertMainThread();
    if (item.openURL) {
        dependencies_.opener->openLink(*item.openURL);
    }
}

}  // namespace nudgerly
