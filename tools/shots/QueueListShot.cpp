#include <functional>

#include "Shot.h"
#include "statefakes/ScreenFixture.h"
#include "ui/queue/QueueListPane.h"

namespace nudgerly::test {
namespace {

constexpr int paneWidth = 420;
constexpr int paneHeight = 760;

// The pane on a named state, changed by `adjust` first, saved as queue-<name>.png.
void savePane(ShotContext& context, const char* name, std::string_view fixtureName,
              const std::function<void(StatePublisher&)>& adjust = {}, int width = paneWidth) {
    ScreenFixture fixture(fixtureName);
    if (adjust) {
        adjust(fixture.state.published());
    }
    QueueListPane pane(fixture.state);
    context.save(pane, QStringLiteral("queue-") + QLatin1String(name), QSize(width, paneHeight));
}

}  // namespace

NUDGERLY_SHOT(queueList, "The queue list pane: grouped, flat with badges, narrow, refreshing and every empty state") {
    savePane(context, "grouped", "ready");
    savePane(context, "flat", "ready", [](StatePublisher& state) { state.setQueueSort(QueueSort::newest); });
    savePane(context, "narrow", "ready", {}, 300);
    savePane(context, "refreshing", "refreshing");
    savePane(context, "empty-first-scan", "firstScan");
    savePane(context, "empty-gmail-unscanned", "basicMode",
             [](StatePublisher& state) { state.setSourceFilter(ReviewSource::gmail); });
    savePane(context, "empty-messages-no-access", "contactsDenied", [](StatePublisher& state) {
        state.setContactsPermission(ContactsPermission::granted);
        state.setSourceFilter(ReviewSource::messages);
    });
    savePane(context, "empty-messages-unscanned", "nothingScanned",
             [](StatePublisher& state) { state.setSourceFilter(ReviewSource::messages); });
    savePane(context, "empty-nothing-completed", "completedView",
             [](StatePublisher& state) { state.setCompleted({}); });
    savePane(context, "empty-nothing-scanned", "nothingScanned");
    savePane(context, "empty-set-up-first", "contactsDenied",
             [](StatePublisher& state) { state.setContactsPermission(ContactsPermission::granted); });
    savePane(context, "empty-no-matches", "ready", [](StatePublisher& state) { state.setSearch("nothing like this"); });
    savePane(context, "empty-caught-up", "ready", [](StatePublisher& state) {
        state.setCompleted(everyCompletionIdentity(state.state()));
        state.setSourceFilter(ReviewSource::messages);
    });
}

}  // namespace nudgerly::test
