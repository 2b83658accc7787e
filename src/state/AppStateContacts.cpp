// The Messages queue names people as the Contacts data did when it was built. When the contacts or the
// access to them change, the saved queue goes and a Messages refresh rebuilds it shortly afterwards,
// once nothing stands in its way. Messages deleted since the last refresh leave the saved queue too.
#include "core/RawEnum.h"
#include "state/AppState.h"

namespace nudgerly {

namespace {

// A burst of changes starts one rebuild, this long after the last of them.
constexpr std::chrono::milliseconds messagesRebuildDelay{300};

}  // namespace

void AppState::contactsStoreDidChange(std::optional<std::string> activity) {
    const ContactsPermission previous = state().contactsPermission;
    const bool alertWasAboutAccess = alertIsAboutContactsAccess();
    publisher().setContactsPermission(currentContactsPermission());
    const ContactsPermission permission = state().contactsPermission;

    // Right after start-up the store announces what the saved queue was already built with.
    const bool inGracePeriod = clock().steadyNow() < contactsLaunchNotificationDeadline_;
    if (inGracePeriod && permission == previous && state().snapshot(ReviewSource::messages)) {
        return;
    }

    ++contactsRevision_;
    if (!restoreMessagesQueueAwaitingContacts()) {
        invalidateMessagesSnapshot();
    }

    if (!contactsAccessIsUsable()) {
        stopWorkWithoutContactsAccess(true);
        return;
    }
    if (alertWasAboutAccess) {
        publisher().setErrorMessage(std::nullopt);
    }
    if (state().refreshingSources.contains(ReviewSource::messages)) {
        cancelRefresh(ReviewSource::messages);
    }
    pendingMessagesRebuild_ = true;
    if (!activity) {
        activity = permission == previous                      ? "Contacts changed; rebuilding the Messages queue"
                   : permission == ContactsPermission::limited ? "Limited Contacts access changed"
                                                               : "Contacts access changed";
    }
    publisher().setActivity(std::move(*activity));
    routeToModelChoiceIfNeeded();
    schedulePendingMessagesRebuild();
}

bool AppState::messagesRebuildCanStart() const {
    const PublishedState& s = state();
    return pendingMessagesRebuild_ && !terminating_ && contactsAccessIsUsable() && !s.needsModelChoice &&
           !isChangingModel() && !s.isDeletingLocalData && s.messagesPermission == MessagesPermission::granted &&
           !s.refreshingSources.contains(ReviewSource::messages);
}

void AppState::schedulePendingMessagesRebuild() {
    if (!messagesRebuildCanStart()) {
        return;  // a later call (a run's clean-up, a model or permission change) finds the way clear
    }
    contactsRebuildTask_.cancel();
    contactsRebuildTask_ = tasks_.spawn([this](TaskHandle task) { return messagesRebuildRun(std::move(task)); });
}

MainTask AppState::messagesRebuildRun(TaskHandle task) {
    co_await sleepFor(task, messagesRebuildDelay);
    // Whatever came up during the wait is checked again, so the rebuild is never announced in vain.
    if (!messagesRebuildCanStart()) {
        co_return;
    }
    pendingMessagesRebuild_ = false;
    contactsRebuildTask_ = {};
    publisher().setActivity("Rebuilding Messages with current Contacts access");
    refresh(ReviewSource::messages, toRaw(state().refreshLookbacks.messages));
}

void AppState::removeDeletedMessagesFromSavedQueue() {
    const auto saved = state().snapshots.find(ReviewSource::messages);
    if (state().messagesPermission != MessagesPermission::granted || saved == state().snapshots.end()) {
        return;
    }
    tasks_.spawn([this, snapshot = saved->second](TaskHandle task) {
        return deletedMessagesPruning(std::move(task), snapshot);
    });
}

MainTask AppState::deletedMessagesPruning(TaskHandle task, std::shared_ptr<const ReviewSnapshot> saved) {
    const auto cacheSize = [](const ReviewSnapshot& snapshot) {
        return snapshot.classificationCache ? std::optional(snapshot.classificationCache->size()) : std::nullopt;
    };
    // What the queue needs of the pruned queue is worked out here too, when there is one.
    const auto prune = [reader = messagesReader_, saved, cacheSize](std::stop_token stop) -> std::optional<PreparedSnapshot> {
        ReviewSnapshot pruned = reader->removingDeletedMessages(*saved, stop);
        if (pruned.items.size() == saved->items.size() && cacheSize(pruned) == cacheSize(*saved)) {
            return std::nullopt;
        }
        return PreparedSnapshot::of(std::move(pruned), stop);
    };
    std::optional<PreparedSnapshot> pruned;
    try {
        pruned = co_await offMain(task, "Deleted messages pruning", prune);
    } catch (const CancelledError&) {
        throw;
    } catch (...) {
        co_return;  // the database could not be read: the saved queue stays as it is, without a word
    }
    // Nothing changed; or a refresh or a Contacts change replaced the queue meanwhile, and what was
    // pruned is out of date.
    if (!pruned || state().snapshot(ReviewSource::messages) != saved.get()) {
        co_return;
    }
    const std::shared_ptr<const ReviewSnapshot> published = pruned->snapshot;
    publishSnapshot(ReviewSource::messages, published, std::move(pruned->answers));
    try {
        writeSnapshot(*published, ReviewSource::messages);
    } catch (const std::exception&) {
        // The old file stays until the next save; the queue on screen is already the pruned one.
    }
    reconcileSelection();
}

}  // namespace nudgerly
