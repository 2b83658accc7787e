#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/system/UserFolders.h"
#include "state/AppStateView.h"

namespace nudgerly::test {

// The state object for screen tests: every published field is set by the test through `published()`
// (the activity line and the alert's sentence through `lines()`), the derived members are the real
// ones, and every operation only records its call, as "refresh(gmail, 30)" or
// "toggleCompleted(item-1)", in `calls`.
class FakeAppState : public AppStateView {
public:
    FakeAppState(MainQueue& mainQueue, const Clock& clock) : AppStateView(hub_), hub_(mainQueue, clock) {}

    StatePublisher& published() { return publisher(); }
    using AppStateView::lines;

    std::vector<std::string> calls;
    FeedbackDiagnostics diagnostics;  // what feedbackDiagnostics() gives

    // The program's own places under the home folder of the moment.
    std::filesystem::path messagesDatabasePath = UserFolders::home() / "Library" / "Messages" / "chat.db";
    std::filesystem::path dataFolderPath = UserFolders::dataHome() / "nudgerly";

    FeedbackDiagnostics feedbackDiagnostics() const override { return diagnostics; }
    std::filesystem::path messagesDatabase() const override { return messagesDatabasePath; }
    std::filesystem::path dataFolder() const override { return dataFolderPath; }

    void showQueue(std::optional<ReviewSource> source, QueueCompletionScope completion) override;
    void reconcileSelection() override { record("reconcileSelection()"); }
    void setLookback(LookbackWindow window) override;
    void setQueueSort(QueueSort sort) override;
    void setContactsOnly(bool on) override;
    void refreshCurrentView() override { record("refreshCurrentView()"); }
    void refresh(ReviewSource source, LookbackWindow lookback) override;
    void refreshAll(LookbackWindow lookback) override;

    void requestContacts() override { record("requestContacts()"); }
    void reconcileContactsPermission(bool showError) override;
    void appDidBecomeActive() override { record("appDidBecomeActive()"); }
    void recheckMessagesPermission() override { record("recheckMessagesPermission()"); }
    void openContactsSettings() override { record("openContactsSettings()"); }
    void openFullDiskAccess() override { record("openFullDiskAccess()"); }

    void toggleCompleted(const ReviewItem& item) override { record("toggleCompleted(" + item.id + ")"); }
    void copyDraft(const ReviewItem& item) override { record("copyDraft(" + item.id + ")"); }
    void open(const ReviewItem& item) override { record("open(" + item.id + ")"); }

    void connectGmail() override { record("connectGmail()"); }
    void cancelGmailAuthorization() override { record("cancelGmailAuthorization()"); }
    void disconnectGmail() override { record("disconnectGmail()"); }

    void deleteLocalData() override { record("deleteLocalData()"); }

    void startModelDownload() override { record("startModelDownload()"); }
    void continueInBasicMode() override { record("continueInBasicMode()"); }
    void retryModelDownload() override { record("retryModelDownload()"); }
    void cancelModelDownload() override { record("cancelModelDownload()"); }
    void pauseModelDownload() override { record("pauseModelDownload()"); }
    void resumeModelDownload() override { record("resumeModelDownload()"); }
    void removeLocalModel() override { record("removeLocalModel()"); }
    void selectModelPack(std::string_view identifier) override;

    void shutdown() override { record("shutdown()"); }
    // Records the call and reports the shutdown finished at once.
    void shutdownForTermination(std::function<void()> finished) override;

private:
    void record(std::string call) { calls.push_back(std::move(call)); }

    StateHub hub_;
};

}  // namespace nudgerly::test
