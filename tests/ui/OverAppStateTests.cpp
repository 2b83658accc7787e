#include <algorithm>
#include <stdexcept>

#include <QApplication>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "state/AppStateSettings.h"
#include "state/RefreshTestSupport.h"
#include "statefakes/QuietWindow.h"
#include "support/AppStateHarness.h"
#include "ui/UiTest.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/queue/QueueListPane.h"
#include "ui/shared/PanePlaceholder.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"

namespace nudgerly::test {
namespace {

// A user who chose Basic Mode and allowed Contacts and Full Disk Access, and never connected Gmail.
void basicModeUser(AppStateHarness& harness) {
    readyUser(harness);
    harness.gmail->setStatus({.configured = true});
}

// The main window over the harness's state object, shown.
struct Window {
    explicit Window(AppState& state, MainQueue& queue) : quiet(state, queue) { window.show(); }

    void click(SidebarDestination destination) {
        QListView& list = window.sidebar().list();
        const QModelIndex index = list.model()->index(window.sidebar().rowOf(destination), 0);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(index).center());
    }
    bool showsAnAlert() const {
        const auto boxes = window.findChildren<QMessageBox*>();
        return std::ranges::any_of(boxes, [](const QMessageBox* box) { return box->isVisible(); });
    }
    QWidget* shownPage() const { return window.findChild<QStackedWidget*>("pages")->currentWidget(); }

    QuietWindow quiet;
    MainWindow& window = quiet.window;
};

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
    void comingBackToAllWithoutGmailRaisesNoAlert() {
        AppStateHarness harness;
        basicModeUser(harness);
        harness.settings->setData(AppStateSettings::messagesContactsHistoryToken, "token-1");
        harness.saveSnapshot(ReviewSource::messages, savedQueue("m1"));
        AppState& app = harness.buildAndStart();
        Window shown(app, harness.queue);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        harness.settle();

        for (const SidebarDestination row :
             {SidebarDestination::queueAll, SidebarDestination::queueCompleted, SidebarDestination::queueAll}) {
            shown.click(row);
            harness.settle();
            QCOMPARE(app.state().errorMessage, std::nullopt);
            QVERIFY(!shown.showsAnAlert());
            QCOMPARE(shown.shownPage(), &shown.window.page(Section::queue));
        }
        QCOMPARE(app.visibleItems().size(), std::size_t{1});
    }

    void theViewsOfSourcesNotSetUpShowTheirEmptyStateWithoutAnAlert() {
        AppStateHarness harness;
        basicModeUser(harness);
        harness.messagesPermission = MessagesPermission::denied;
        AppState& app = harness.buildAndStart();
        Window shown(app, harness.queue);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        harness.settle();

        const struct {
            SidebarDestination row;
            QString setUp;
        } views[]{{SidebarDestination::queueGmail, "Open Accounts"},
                  {SidebarDestination::queueMessages, "Open Messages Folder"},
                  {SidebarDestination::queueGmail, "Open Accounts"}};
        for (const auto& view : views) {
            shown.click(view.row);
            harness.settle();
            QCOMPARE(app.state().errorMessage, std::nullopt);
            QVERIFY(!shown.showsAnAlert());
            QCOMPARE(shown.shownPage(), &shown.window.page(Section::queue));
            QVERIFY(!QString::fromStdString(app.state().activity).startsWith("Expanding"));
            auto* emptyState = shown.window.page(Section::queue).findChild<PanePlaceholder*>("emptyState");
            QVERIFY(emptyState && emptyState->isVisible());
            const auto buttons = emptyState->findChildren<QPushButton*>();
            QVERIFY(std::ranges::any_of(buttons, [&](const QPushButton* button) {
                return button->isVisible() && button->text() == view.setUp;
            }));
        }
        QCOMPARE(scans(harness), 0);
    }

    void theSidebarCountsOffTheQueueAreThoseOfAllSources() {
        AppStateHarness harness;
        returningUser(harness);
        harness.settings->setInteger(AppStateSettings::lookbackDaysGmail, 3);
        // Gmail's item is five days old: inside the combined week, outside Gmail's three days.
        ReviewSnapshot gmail = savedQueue("g1", ReviewSource::gmail, 7);
        gmail.items[0].timestamp = harnessNow().addingSeconds(-5 * 86'400);
        harness.saveSnapshot(ReviewSource::gmail, gmail);
        AppState& app = harness.buildAndStart();
        Window shown(app, harness.queue);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        const auto allCount = [&] {
            harness.settle();
            const QModelIndex row = shown.window.sidebar().list().model()->index(
                shown.window.sidebar().rowOf(SidebarDestination::queueAll), 0);
            return row.data(Sidebar::countRole).toString();
        };

        shown.click(SidebarDestination::queueAll);
        QCOMPARE(allCount(), "2");
        shown.click(SidebarDestination::queueGmail);
        QCOMPARE(allCount(), "1");  // the shown view's lookback cuts the counts
        app.setSection(Section::accounts);
        harness.settle();
        QCOMPARE(shown.shownPage(), &shown.window.page(Section::accounts));
        QCOMPARE(allCount(), "2");
    }

    void aMessagesLinkNoProgramOpensIsToldOnTheActivityLine() {
        AppStateHarness harness;
        returningUser(harness);
        harness.saveSnapshot(ReviewSource::gmail, {});
        ReviewSnapshot messages = savedQueue("m1");
        messages.items[0].openURL = "sms:+15550100";
        harness.saveSnapshot(ReviewSource::messages, messages);
        harness.opener->takesLinks = false;
        AppState& app = harness.buildAndStart();
        Window shown(app, harness.queue);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        shown.click(SidebarDestination::queueMessages);
        harness.settle();

        auto* open = shown.window.findChild<QPushButton*>("openButton");
        QVERIFY(open && open->isVisible());
        QCOMPARE(open->text(), "Open in Messages");
        QTest::mouseClick(open, Qt::LeftButton);
        harness.settle();
        QCOMPARE(harness.opener->opened, std::vector<std::string>{"sms:+15550100"});
        QCOMPARE(app.state().activity, "No program on this computer opens Messages links.");
        QApplication::processEvents();
        auto* line = shown.window.findChild<ElidedLabel*>("activityText");
        QVERIFY(line);
        QCOMPARE(line->text(), "No program on this computer opens Messages links.");
    }

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

        // The Messages view without its database: no alert; the folder to put it in, made when missing,
        // then the check, which says where it was looked for until it is there.
        app.showQueue(ReviewSource::messages, QueueCompletionScope::open);
        harness.settle();
        QVERIFY(!app.state().errorMessage);
        QVERIFY(press(pane, "Open Messages Folder"));
        QCOMPARE(harness.opener->opened, std::vector<std::string>{harness.messagesDatabase.parent_path().string()});
        QVERIFY(std::filesystem::is_directory(harness.messagesDatabase.parent_path()));
        QVERIFY(press(pane, "Check Again"));
        harness.settle();
        QCOMPARE(app.state().activity, "No Messages database at " + harness.messagesDatabase.string() + ".");
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
        harness.messages->onScan = [](LookbackWindow, std::stop_token) -> ConversationBatch {
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
