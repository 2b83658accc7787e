#include <stdexcept>

#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "UiTest.h"
#include "modelpacks/ModelSelectionStore.h"
#include "services/FeedbackSender.h"
#include "services/UpdateController.h"
#include "state/AppStateSettings.h"
#include "support/AppStateHarness.h"
#include "ui/kit/StateBridge.h"
#include "ui/queue/PanePlaceholder.h"
#include "ui/queue/QueueListPane.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"

namespace nudgerly::test {
namespace {

class NoUpdates final : public Updater {
public:
    void start() override {}
    std::optional<std::string> checkForUpdates() override { return std::nullopt; }
};

class NoSender final : public FeedbackSender {
public:
    FeedbackReceipt submit(const FeedbackSubmission&, std::stop_token) const override { return {}; }
};

// A user who chose Basic Mode and allowed Contacts; Full Disk Access and Gmail as the test sets them.
void basicModeUser(AppStateHarness& harness) {
    harness.settings->setString(ModelSelectionStore::selectedPackKey, harness.catalog.packs[0].identifier);
    harness.settings->setString(AppStateSettings::modelChoiceVersion, AppStateSettings::currentModelChoiceVersion);
    harness.contacts->setHistoryToken("token-1");
}

int scans(const AppStateHarness& harness) {
    int count = 0;
    for (const std::string& call : harness.messages->calls()) {
        count += call.starts_with("scan") ? 1 : 0;
    }
    return count;
}

// Clicks the shown button of the empty state that has this title; false when there is none.
bool press(const QWidget& screen, const QString& title) {
    for (QPushButton* button : screen.findChild<PanePlaceholder*>("emptyState")->findChildren<QPushButton*>()) {
        if (button->isVisible() && button->isEnabled() && button->text() == title) {
            QTest::mouseClick(button, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

}  // namespace

// The screens over the real state object, its services faked at their seams: a click on a real
// widget runs the state's real operation.
class OverAppStateTests : public QObject {
    Q_OBJECT

private slots:
    void theEmptyStateButtonsOfAFirstRunActOnTheState() {
        AppStateHarness harness;
        basicModeUser(harness);
        harness.messagesPermission = MessagesPermission::denied;
        AppState& app = harness.buildAndStart();
        QueueListPane pane(app);
        pane.resize(420, 700);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));

        // Nothing set up, nothing scanned: the accounts page.
        app.setSection(Section::queue);
        harness.settle();
        QVERIFY(press(pane, "Open Accounts"));
        harness.settle();
        QCOMPARE(app.state().section, Section::accounts);

        // The Messages view without Full Disk Access: the folder to grant, then the check.
        app.showQueue(ReviewSource::messages, QueueCompletionScope::open);
        app.dismissError();
        harness.settle();
        QVERIFY(press(pane, "Open Full Disk Access"));
        QCOMPARE(harness.opener->opened, std::vector<std::string>{harness.root.path().string()});
        harness.messagesPermission = MessagesPermission::granted;
        QVERIFY(press(pane, "Check Again"));
        QCOMPARE(app.state().messagesPermission, MessagesPermission::granted);
        harness.settle();
        QCOMPARE(scans(harness), 1);
    }

    void theRefreshButtonsOfAnUnscannedQueueStartRefreshes() {
        AppStateHarness harness;
        basicModeUser(harness);
        // Every read fails, so nothing is ever saved and the buttons stay.
        harness.messages->onScan = [](int64_t, std::stop_token) -> ConversationBatch {
            throw std::runtime_error("unreadable");
        };
        AppState& app = harness.buildAndStart();
        QueueListPane pane(app);
        pane.resize(420, 700);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        harness.settle();

        QVERIFY(press(pane, "Refresh connected sources"));
        QCOMPARE(app.state().refreshingSources, std::set{ReviewSource::messages});
        harness.settle();
        QCOMPARE(scans(harness), 1);

        app.showQueue(ReviewSource::messages, QueueCompletionScope::open);
        harness.settle();
        app.dismissError();
        QCOMPARE(scans(harness), 2);
        harness.settle();
        QVERIFY(press(pane, "Refresh Messages"));
        QCOMPARE(app.state().refreshingSources, std::set{ReviewSource::messages});
        harness.settle();
        QCOMPARE(scans(harness), 3);
    }
};

NUDGERLY_UI_TEST(OverAppStateTests);

}  // namespace nudgerly::test

#include "OverAppStateTests.moc"
