#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Date.h"
#include "review/LookbackWindow.h"
#include "review/QueueCompletionScope.h"
#include "review/QueueSort.h"
#include "review/RefreshProgress.h"
#include "review/ReviewItem.h"
#include "review/ReviewSource.h"
#include "review/ReviewStatus.h"
#include "services/FeedbackDiagnostics.h"
#include "state/PublishedState.h"
#include "state/QueueItems.h"
#include "state/StateHub.h"

namespace nudgerly {

// The state object as the window sees it: the published state with its observation, every derived
// member the screens read, the few fields the screens write directly, and every operation they
// call. The state object and the tests' fake both implement it over a StateHub of their own, the
// publishing machinery; the derived members are computed here, from the hub's published state and
// clock, so both answer alike. Main thread only.
class AppStateView {
public:
    // `hub` may still be unmade: it is only kept until a member is called.
    explicit AppStateView(StateHub& hub);
    virtual ~AppStateView();
    AppStateView(const AppStateView&) = delete;
    AppStateView& operator=(const AppStateView&) = delete;

    // ---- Published state ----
    const PublishedState& state() const { return hub_.state(); }
    // The observer hears, once per main-queue turn, which fields were written in it.
    [[nodiscard]] ObservationToken observe(StatePublisher::Observer observer) {
        return hub_.publisher().observe(std::move(observer));
    }

    // ---- Derived members, as computed afresh from the published state on every read ----
    // A source is refreshing or local data are being deleted.
    bool isRefreshing() const;
    // Gmail is neither refreshing nor being deleted with the local data.
    bool canConnectGmailDuringCurrentActivity() const;
    // What the queue lists, shared: worked out once per change of the fields it comes from.
    std::shared_ptr<const QueueItems> visibleQueue() const;
    // Copies of the items of the visible queue and of the source's base list.
    std::vector<ReviewItem> visibleItems() const;
    std::vector<ReviewItem> sourceScopedItems() const;
    // The selected visible item, else the first visible item; null when nothing is visible. It keeps
    // its snapshot alive.
    std::shared_ptr<const ReviewItem> selectedItem() const;
    // Open items of one source or (none) both, before the status filter, search and scope.
    int64_t openQueueCount(std::optional<ReviewSource> source) const;
    int64_t completedQueueCount() const;
    std::vector<RefreshProgress> visibleRefreshProgresses() const;
    bool isRefreshingCurrentView() const;
    bool canRefreshCurrentView() const;
    std::string rangeSummary() const;
    // "Refresh All", "Refresh Messages" or "Refresh Gmail".
    std::string refreshLabel() const;
    // When the source's saved queue was made: "Never refreshed", "Today at 3:15 PM", ...
    std::string lastRefreshLabel(ReviewSource source) const;
    // Whether the model pack picker is enabled (never while the environment names the model).
    bool canSelectModelPack() const;
    // The current moment of the state's clock, which ages on screen are measured against.
    Date now() const { return hub_.clock().now(); }
    // The technical details a feedback report may carry.
    virtual FeedbackDiagnostics feedbackDiagnostics() const = 0;
    // The places the screens tell the user of: the Messages database the program reads, and the data
    // folder (where the Gmail client file goes).
    virtual std::filesystem::path messagesDatabase() const = 0;
    virtual std::filesystem::path dataFolder() const = 0;

    // ---- Fields the screens write directly ----
    void setSection(Section section);
    void setStatusFilter(std::optional<ReviewStatus> status);
    void setSearch(std::string search);
    void setSelectedItemID(std::optional<std::string> id);
    // The alert was closed.
    void dismissError();

    // ---- Queue view ----
    virtual void showQueue(std::optional<ReviewSource> source, QueueCompletionScope completion) = 0;
    virtual void reconcileSelection() = 0;
    virtual void setLookback(LookbackWindow window) = 0;
    virtual void setQueueSort(QueueSort sort) = 0;
    virtual void setContactsOnly(bool on) = 0;
    virtual void refreshCurrentView() = 0;
    virtual void refresh(ReviewSource source, LookbackWindow lookback) = 0;
    virtual void refreshAll(LookbackWindow lookback) = 0;

    // ---- Permissions and activation ----
    virtual void requestContacts() = 0;
    virtual void reconcileContactsPermission(bool showError) = 0;
    // The program became active again: look for the Messages database again, drop deleted messages,
    // then reconcile Contacts access.
    virtual void appDidBecomeActive() = 0;
    virtual void recheckMessagesPermission() = 0;
    virtual void openContactsSettings() = 0;
    virtual void openFullDiskAccess() = 0;

    // ---- Items ----
    virtual void toggleCompleted(const ReviewItem& item) = 0;
    virtual void copyDraft(const ReviewItem& item) = 0;
    virtual void open(const ReviewItem& item) = 0;

    // ---- Gmail ----
    virtual void connectGmail() = 0;
    virtual void cancelGmailAuthorization() = 0;
    virtual void disconnectGmail() = 0;

    // ---- Local data ----
    virtual void deleteLocalData() = 0;

    // ---- Local AI model ----
    virtual void startModelDownload() = 0;
    virtual void continueInBasicMode() = 0;
    virtual void retryModelDownload() = 0;
    virtual void cancelModelDownload() = 0;
    virtual void pauseModelDownload() = 0;
    virtual void resumeModelDownload() = 0;
    virtual void removeLocalModel() = 0;
    virtual void selectModelPack(std::string_view identifier) = 0;

    // ---- Shutdown ----
    // Stops all work and, without waiting, the model server (the main window went away).
    virtual void shutdown() = 0;
    // The same for quitting: `finished` runs on the main thread once the model server is stopped and
    // running work has ended or its bound has passed.
    virtual void shutdownForTermination(std::function<void()> finished) = 0;

protected:
    StatePublisher& publisher() { return hub_.publisher(); }
    // The only writer of the activity line and the alert's sentence.
    StatusLines& lines() { return hub_.lines(); }
    const Clock& clock() const { return hub_.clock(); }
    MainQueue& mainQueue() { return hub_.mainQueue(); }
    Date cutoff() const { return hub_.cutoff(); }
    void publishSnapshot(ReviewSource source, std::shared_ptr<const ReviewSnapshot> snapshot,
                         SnapshotMemo::Answers answers) {
        hub_.publishSnapshot(source, std::move(snapshot), std::move(answers));
    }

private:
    void assertMainThread() const;

    StateHub& hub_;
};

}  // namespace nudgerly
