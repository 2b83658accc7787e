// The saved queues: read and decoded on workers at start-up and taken up as far as the Contacts data
// they were built with allow, the Messages one forgotten when those data change, and kept free of the
// messages deleted since.
#include <array>
#include <memory>
#include <utility>

#include "state/AppState.h"
#include "state/AppStateSettings.h"

namespace nudgerly {

MainTask AppState::savedQueueLoad(TaskHandle task, ReviewSource source) {
    // The Contacts token the saved Messages queue is checked against is first worked out here, off the
    // main thread: the check then finds every card's digest made.
    const auto contacts = source == ReviewSource::messages ? dependencies_.contacts : nullptr;
    const auto read = [file = files_.file(source), contacts](std::stop_token stop) {
        if (contacts) {
            contacts->currentHistoryToken();
        }
        return SavedQueues::read(file, stop);
    };
    const std::string label = "Saved " + std::string(displayName(source)) + " queue";
    std::optional<PreparedSnapshot> saved;
    try {
        saved = co_await offMain(task, label, read);
    } catch (const CancelledError&) {
        throw;
    } catch (...) {
        // No worker could read it: read it here, as an unread file is not a missing one.
        saved = read({});
    }
    (source == ReviewSource::messages ? savedQueues_.messages : savedQueues_.gmail) = std::move(saved);
    if (++savedQueues_.arrived == 2) {
        takeSavedQueues();
    }
}

void AppState::takeSavedQueues() {
    SavedQueues saved = std::exchange(savedQueues_, {});
    const std::array<uint64_t, 2>& writesBefore = savedQueueWrites_;
    publisher().setIsLoadingSavedQueues(false);
    // The Messages queue names people as the Contacts data did when it was built: it is only used
    // while those data are the current ones.
    if (publisher().snapshotWrites(ReviewSource::messages) == writesBefore[0]) {
        const bool usable = contactsAccessIsUsable(state());
        const auto currentToken = usable ? dependencies_.contacts->currentHistoryToken() : std::nullopt;
        const auto storedToken = settings_.data(AppStateSettings::messagesContactsHistoryToken);
        // Settings that could not be read took the token with them: the queue may have been built with
        // the current Contacts data or not, so it is shown and rebuilt rather than deleted. That is
        // stored, as the next start finds settings that read and no token in them.
        const bool storedUnknown = settings_.boolean(AppStateSettings::messagesContactsHistoryTokenUnknown);
        const bool storedTokenUnknown = storedUnknown || settings_.loadProblem().has_value();
        const auto rememberTokenUnknown = [&] {
            if (!storedUnknown) {
                settings_.setBool(AppStateSettings::messagesContactsHistoryTokenUnknown, true);
            }
        };
        // A damaged Contacts answer was set aside: access reads as never asked from then on.
        const bool awaitsContactsAnswer =
            dependencies_.contacts->decisionProblem() ||
            (storedTokenUnknown && state().contactsPermission == ContactsPermission::notDetermined);
        if (saved.messages && usable && (!currentToken || storedToken == currentToken || storedTokenUnknown)) {
            if (storedTokenUnknown) {
                rememberTokenUnknown();
            }
            publishSnapshot(ReviewSource::messages, std::move(saved.messages->snapshot),
                            std::move(saved.messages->answers));
            contacts_.setPendingMessagesRebuild(storedTokenUnknown);
            removeDeletedMessagesFromSavedQueue();
        } else if (saved.messages && !usable && awaitsContactsAnswer) {
            rememberTokenUnknown();
            contacts_.keepMessagesQueueAwaitingContacts(std::move(*saved.messages));
        } else {
            invalidateMessagesSnapshot();
            contacts_.setPendingMessagesRebuild(usable);
        }
    }
    if (saved.gmail && publisher().snapshotWrites(ReviewSource::gmail) == writesBefore[1]) {
        publishSnapshot(ReviewSource::gmail, std::move(saved.gmail->snapshot), std::move(saved.gmail->answers));
    }
    if (startRequested_) {
        subscribeAndStart();
    }
}

void AppState::invalidateMessagesSnapshot() {
    assertMainThread();
    publisher().removeSnapshot(ReviewSource::messages);
    contacts_.forgetMessagesQueueAwaitingContacts();
    settings_.remove(AppStateSettings::messagesContactsHistoryToken);
    settings_.remove(AppStateSettings::messagesContactsHistoryTokenUnknown);
    files_.remove(ReviewSource::messages);
    reconcileSelection();
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
    // What the queue needs of the pruned queue is worked out here too, when there is one.
    const auto prune = [reader = dependencies_.messages,
                        saved](std::stop_token stop) -> std::optional<PreparedSnapshot> {
        std::optional<ReviewSnapshot> pruned = reader->removingDeletedMessages(*saved, stop);
        if (!pruned) {
            return std::nullopt;
        }
        return PreparedSnapshot::of(std::move(*pruned), stop);
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
        files_.write(*published, ReviewSource::messages);
    } catch (const std::exception&) {
        // The old file stays until the next save; the queue on screen is already the pruned one.
    }
    reconcileSelection();
}

}  // namespace nudgerly
