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
    const auto prune = [reader = messagesReader_, saved](std::stop_token stop) {
        return reader->removingDeletedMessages(*saved, stop);
    };
    std::optional<ReviewSnapshot> pruned;
    try {
        pruned = co_await offMain(task, "Deleted messages pruning", prune);
    } catch (const CancelledError&) {
        throw;
    } catch (...) {
        co_return;  // the database could not be read: the saved queue stays as it is, without a word
    }
    // A refresh or a Contacts change replaced the queue meanwhile: what was pruned is out of date.
    if (state().snapshot(ReviewSource::messages) != saved.get()) {
        co_return;
    }
    const auto cacheSize = [](const ReviewSnapshot& snapshot) {
        return snapshot.classificationCache ? std::optional(snapshot.classificationCache->size()) : std::nullopt;
    };
    if (pruned->items.size() == saved->items.size() && cacheSize(*pruned) == cacheSize(*saved)) {
        co_return;
    }
    auto published = std::make_shared<const ReviewSnapshot>(std::move(*pruned));
    publisher().setSnapshot(ReviewSource::messages, published);
    try {
        writeSnapshot(*published, ReviewSource::messages);
    } catch (const std::exception&) {
        // The old file stays until the next save; the queue on screen is already the pruned one.
    }
    reconcileSelection();
}

}  // namespace nudgerly
