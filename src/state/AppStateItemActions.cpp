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
        tasks_.spawn([this, url = *item.openURL, source = item.source](TaskHandle task) {
            return linkOpening(std::move(task), url, source);
        });
    }
}

MainTask AppState::linkOpening(TaskHandle task, std::string url, ReviewSource source) {
    const auto openLink = [opener = dependencies_.opener, url](std::stop_token stop) {
        return opener->openLink(url, stop);
    };
    // Messages links need a program of their own, which many desktops lack; a button that does
    // nothing would leave the user guessing.
    if (!co_await offMain(task, "Open link", openLink) && source == ReviewSource::messages) {
        lines().showActivity("No program on this computer opens Messages links.");
    }
}

}  // namespace nudgerly
