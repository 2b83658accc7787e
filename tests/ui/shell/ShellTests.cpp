#include <csignal>
#include <functional>
#include <future>
#include <thread>

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTest>

#include "core/BackgroundExecutor.h"
#include "platform/system/TerminationSignals.h"
#include "queues/ManualBackgroundExecutor.h"
#include "review/MessageAge.h"
#include "services/FeedbackSender.h"
#include "services/UpdateController.h"
#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/StateBridge.h"
#include "ui/shared/ReviewDisplay.h"
#include "ui/shared/SidebarStatusLine.h"
#include "ui/shell/ActivationWatcher.h"
#include "ui/shell/AppSidebar.h"
#include "ui/shell/ContactsAccessDialog.h"
#include "ui/shell/ErrorAlert.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"
#include "ui/shell/TerminationController.h"

namespace nudgerly::test {
namespace {

class NoticeUpdater final : public Updater {
public:
    void start() override {}
    std::optional<std::string> checkForUpdates() override { return "Updates come from the package manager."; }
};

class UnusedSender final : public FeedbackSender {
public:
    FeedbackReceipt submit(const FeedbackSubmission&, std::stop_token) const override { return {"r", "ok", {}}; }
};

// A fake whose shutdown for quitting finishes only when the test says so.
class SlowShutdownState final : public FakeAppState {
public:
    using FakeAppState::FakeAppState;
    std::vector<std::function<void()>> pendingShutdowns;

    void shutdownForTermination(std::function<void()> finished) override {
        calls.push_back("shutdownForTermination()");
        pendingShutdowns.push_back(std::move(finished));
    }
};

// The main window on a fake state object, with its services.
struct WindowFixture {
    ScreenFixture screen;
    StateBridge bridge{screen.state};
    UpdateController updates{AppInfo(AppInfo::compiledDefaults()), std::make_unique<NoticeUpdater>()};
    ManualBackgroundExecutor executor;
    int quitRequests = 0;
    MainWindow window{bridge,
                      {.updates = updates,
                       .requestQuit = [this] { ++quitRequests; },
                       .feedback = {std::make_shared<UnusedSender>(), executor, screen.mainQueue}}};

    explicit WindowFixture(std::string_view fixture = "ready") : screen(fixture) { settle(); }

    FakeAppState& state() { return screen.state; }
    static void settle() { QCoreApplication::processEvents(); }

    QListView& list() { return window.sidebar().list(); }
    int selectedRow() { return list().currentIndex().row(); }
    void click(SidebarDestination destination) {
        const QModelIndex index = list().model()->index(window.sidebar().rowOf(destination), 0);
        QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, list().visualRect(index).center());
        settle();
    }
    QString rowText(SidebarDestination destination, int role = Qt::DisplayRole) {
        return list().model()->index(window.sidebar().rowOf(destination), 0).data(role).toString();
    }
    QString statusValue(const char* line) {
        return window.sidebar().findChild<SidebarStatusLine*>(line)->findChild<ElidedLabel*>("valueLabel")->text();
    }
    QAction* action(const char* name) { return window.findChild<QAction*>(name); }
};

PublishedState withDownload(ModelDownloadState download, bool needsChoice = false,
                            std::optional<std::string> issue = std::nullopt) {
    PublishedState state;
    state.modelDownloadState = std::move(download);
    state.needsModelChoice = needsChoice;
    state.modelRuntimeIssue = std::move(issue);
    return state;
}

}  // namespace

class ShellTests : public QObject {
    Q_OBJECT

private slots:
    void assistiveTechnologyHearsNamesStatusAndAgeAndNoMarkup() {
        WindowFixture fixture;
        fixture.window.resize(1200, 800);
        fixture.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture.window));
        WindowFixture::settle();
        const auto accessible = [](QObject* object) { return QAccessible::queryAccessibleInterface(object); };

        auto* search = fixture.window.findChild<QLineEdit*>("searchField");
        QVERIFY(search && search->isVisible());
        QCOMPARE(accessible(search)->text(QAccessible::Name), "Search conversations");
        QCOMPARE(accessible(&fixture.list())->text(QAccessible::Name), "Sidebar");

        // A row says what its badges show: the status and the age.
        auto* queue = fixture.window.findChild<QListView*>("queueList");
        QVERIFY(queue);
        const QueueItems& items = *fixture.state().visibleQueue();
        QVERIFY(items.size() > 0);
        const ReviewItem& first = items[0];
        QVERIFY(first.timestamp);
        const QString expected = QString::fromStdString(first.person + ", " + first.summary + ", " +
                                                        std::string(ReviewDisplay::statusName(first.status)) + ", " +
                                                        MessageAge::label(*first.timestamp, fixture.state().now()));
        QStringList rows;
        for (int row = 0; row < queue->model()->rowCount(); ++row) {
            rows << queue->model()->index(row, 0).data(Qt::AccessibleTextRole).toString();
        }
        QVERIFY2(rows.contains(expected), qPrintable(rows.join(" | ")));

        // No description of anything in the window is markup (tooltips are).
        QStringList marked;
        std::vector<QAccessibleInterface*> pending{accessible(&fixture.window)};
        while (!pending.empty()) {
            QAccessibleInterface* node = pending.back();
            pending.pop_back();
            const QString description = node->text(QAccessible::Description);
            if (description.contains('<')) {
                marked << node->text(QAccessible::Name) + ": " + description;
            }
            for (int i = 0; i < node->childCount() && i < 200; ++i) {
                if (QAccessibleInterface* child = node->child(i)) {
                    pending.push_back(child);
                }
            }
        }
        QVERIFY2(marked.isEmpty(), qPrintable(marked.join("\n")));
    }

    void everyTabStopShowsItsFocus() {
        WindowFixture fixture("messagesDetail");
        fixture.window.resize(1200, 800);
        fixture.window.show();
        fixture.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&fixture.window));
        WindowFixture::settle();

        // Tab from stop to stop until the chain comes round, keeping each stop's picture with focus.
        std::vector<QWidget*> stops;
        std::vector<QImage> focused;
        for (int step = 0; step < 80; ++step) {
            QWidget* from = QApplication::focusWidget();
            QTest::keyClick(from ? from : &fixture.window, Qt::Key_Tab);
            WindowFixture::settle();
            QWidget* stop = QApplication::focusWidget();
            if (!stop || std::ranges::find(stops, stop) != stops.end()) {
                break;
            }
            stops.push_back(stop);
            focused.push_back(stop->grab().toImage());
        }
        QVERIFY2(stops.size() >= 8, qPrintable(QString::number(stops.size())));

        QStringList unmarked;
        for (std::size_t i = 0; i < stops.size(); ++i) {
            stops[(i + 1) % stops.size()]->setFocus(Qt::TabFocusReason);
            WindowFixture::settle();
            if (stops[i]->grab().toImage() == focused[i]) {
                unmarked
                    << QStringLiteral("%1 \"%2\"").arg(stops[i]->metaObject()->className(), stops[i]->objectName());
            }
        }
        QVERIFY2(unmarked.isEmpty(), qPrintable(unmarked.join(", ")));
    }

    void downloadPercentRoundsHalvesUpAndStaysWithinBounds() {
        QCOMPARE(AppSidebar::downloadPercent(0, 0), "");
        QCOMPARE(AppSidebar::downloadPercent(5, -1), "");
        QCOMPARE(AppSidebar::downloadPercent(1, 200), "1%");  // 0.5 rounds up
        QCOMPARE(AppSidebar::downloadPercent(2, 3), "67%");
        QCOMPARE(AppSidebar::downloadPercent(300, 200), "100%");
        QCOMPARE(AppSidebar::downloadPercent(-50, 200), "0%");
        QCOMPARE(AppSidebar::downloadPercent(INT64_MAX, 1), "100%");
    }

    void localAIStatusFollowsTheDownloadAndTheChoice() {
        using Status = AppSidebar::LocalAIStatus;
        QCOMPARE(AppSidebar::localAIStatus(withDownload(ModelDownloadState::downloading(1, 200))),
                 (Status{"Downloading 1%", false, false}));
        QCOMPARE(AppSidebar::localAIStatus(withDownload(ModelDownloadState::downloading(5, 0))),
                 (Status{"Downloading ", false, false}));
        QCOMPARE(AppSidebar::localAIStatus(withDownload(ModelDownloadState::failed("disk full"))).value,
                 "Download failed");
        QCOMPARE(AppSidebar::localAIStatus(withDownload(ModelDownloadState::missing(), true)),
                 (Status{"Choose a mode", false, false}));
        QCOMPARE(AppSidebar::localAIStatus(withDownload(ModelDownloadState::missing(), false)),
                 (Status{"Basic mode", false, true}));
        QCOMPARE(AppSidebar::localAIStatus(withDownload(ModelDownloadState::paused())).value, "Download paused");
        QCOMPARE(AppSidebar::localAIStatus(withDownload(ModelDownloadState::verifying())).value, "Verifying download");
        QCOMPARE(AppSidebar::localAIStatus(withDownload(ModelDownloadState::installed(), false, "Model stopped")),
                 (Status{"Basic fallback", false, false}));
        QCOMPARE(AppSidebar::localAIStatus(withDownload(ModelDownloadState::installed())),
                 (Status{"Installed", true, false}));
    }

    void theWindowKeepsItsSizesAndOnePageOfEachKind() {
        WindowFixture fixture;
        MainWindow& window = fixture.window;
        QCOMPARE(window.centralWidget()->minimumSize(), MainWindow::minimumContentSize);
        window.show();
        WindowFixture::settle();
        QVERIFY(window.centralWidget()->width() >= 980);
        QVERIFY(window.centralWidget()->height() >= 650);
        QCOMPARE(window.sidebar().minimumWidth(), 185);
        QCOMPARE(window.sidebar().maximumWidth(), 230);
        QCOMPARE(window.sidebar().width(), 205);

        window.openSettings();
        QWidget* settings = window.settingsWindow();
        QVERIFY(settings && settings->isWindow());
        QCOMPARE(settings->size(), MainWindow::settingsSize);
        window.openSettings();
        QCOMPARE(window.settingsWindow(), settings);

        // Pages are made once: switching shows the same widgets again.
        auto* pages = window.findChild<QStackedWidget*>("pages");
        QWidget* feedback = &window.page(Section::feedback);
        fixture.state().published().setSection(Section::feedback);
        WindowFixture::settle();
        QCOMPARE(pages->currentWidget(), feedback);
        fixture.state().published().setSection(Section::privacy);
        WindowFixture::settle();
        QCOMPARE(pages->currentWidget(), &window.page(Section::privacy));
        QCOMPARE(pages->count(), 4);
        QCOMPARE(&window.page(Section::feedback), feedback);
    }

    void aDraftSurvivesSwitchingPages() {
        WindowFixture fixture;
        fixture.state().published().setSection(Section::feedback);
        WindowFixture::settle();
        auto* editor = fixture.window.page(Section::feedback).findChild<QPlainTextEdit*>("feedbackEditor");
        QTest::keyClicks(editor, "Half a thought");
        fixture.state().published().setSection(Section::queue);
        WindowFixture::settle();
        fixture.state().published().setSection(Section::feedback);
        WindowFixture::settle();
        QCOMPARE(fixture.window.page(Section::feedback).findChild<QPlainTextEdit*>("feedbackEditor"), editor);
        QCOMPARE(editor->toPlainText(), "Half a thought");
    }

    void sidebarRowsShowTheirSymbolsAndCounts() {
        WindowFixture fixture;
        const auto& state = fixture.state();
        QCOMPARE(fixture.list().model()->rowCount(), 9);  // two section titles and seven rows
        QCOMPARE(fixture.list().model()->index(0, 0).data().toString(), "Queue");
        QCOMPARE(fixture.list().model()->index(5, 0).data().toString(), "Nudgerly");
        QCOMPARE(fixture.rowText(SidebarDestination::feedback), "Send Feedback");
        QCOMPARE(fixture.rowText(SidebarDestination::feedback, Sidebar::symbolRole),
                 "bubble.left.and.text.bubble.right");
        QCOMPARE(fixture.rowText(SidebarDestination::queueCompleted, Sidebar::symbolRole), "checkmark.circle");

        QVERIFY(state.openQueueCount(std::nullopt) > 0);
        QCOMPARE(fixture.rowText(SidebarDestination::queueAll, Sidebar::countRole),
                 QString::number(state.openQueueCount(std::nullopt)));
        QCOMPARE(fixture.rowText(SidebarDestination::queueGmail, Sidebar::countRole),
                 QString::number(state.openQueueCount(ReviewSource::gmail)));
        QCOMPARE(fixture.rowText(SidebarDestination::queueCompleted, Sidebar::countRole),
                 QString::number(state.completedQueueCount()));
        QVERIFY(!fixture.list()
                     .model()
                     ->index(fixture.window.sidebar().rowOf(SidebarDestination::privacy), 0)
                     .data(Sidebar::countRole)
                     .isValid());

        // Empty queues still show 0.
        fixture.state().published().setSnapshots({});
        WindowFixture::settle();
        QCOMPARE(fixture.rowText(SidebarDestination::queueMessages, Sidebar::countRole), "0");
    }

    void sidebarStatusLinesFollowTheState() {
        WindowFixture fixture("basicMode");
        QCOMPARE(fixture.statusValue("localAIStatus"), "Basic mode");
        QCOMPARE(fixture.statusValue("gmailStatus"), "Never refreshed");
        auto* localAI = fixture.window.sidebar().findChild<SidebarStatusLine*>("localAIStatus");
        QCOMPARE(localAI->findChild<QWidget*>("dot")->property("tone").toString(), "secondary");

        fixture.state().published().setModelDownloadState(ModelDownloadState::downloading(1, 200));
        WindowFixture::settle();
        QCOMPARE(fixture.statusValue("localAIStatus"), "Downloading 1%");
        QCOMPARE(localAI->findChild<QWidget*>("dot")->property("tone").toString(), "orange");
        fixture.state().published().setMessagesPermission(MessagesPermission::denied);
        WindowFixture::settle();
        auto* messages = fixture.window.sidebar().findChild<SidebarStatusLine*>("messagesStatus");
        QCOMPARE(messages->findChild<QWidget*>("dot")->property("tone").toString(), "orange");
    }

    void theSidebarSelectionShowsTheStateBothWays() {
        WindowFixture fixture;
        fixture.window.show();
        WindowFixture::settle();
        auto& published = fixture.state().published();
        published.replaceAll([&] {
            PublishedState state = fixture.state().state();
            state.section = Section::queue;
            state.sourceFilter = ReviewSource::gmail;
            state.completionScope = QueueCompletionScope::completed;
            return state;
        }());
        WindowFixture::settle();
        QCOMPARE(fixture.selectedRow(), fixture.window.sidebar().rowOf(SidebarDestination::queueCompleted));
        published.setCompletionScope(QueueCompletionScope::open);
        WindowFixture::settle();
        QCOMPARE(fixture.selectedRow(), fixture.window.sidebar().rowOf(SidebarDestination::queueGmail));

        // A page row opens its page.
        fixture.click(SidebarDestination::privacy);
        QCOMPARE(fixture.state().state().section, Section::privacy);
        QCOMPARE(fixture.selectedRow(), fixture.window.sidebar().rowOf(SidebarDestination::privacy));

        // A queue row asks the state; the fake leaves everything as it was, as a refusing gate does, so
        // the selection goes back to what the state shows.
        fixture.state().calls.clear();
        fixture.click(SidebarDestination::queueCompleted);
        QCOMPARE(fixture.state().calls, std::vector<std::string>{"showQueue(all, completed)"});
        QCOMPARE(fixture.selectedRow(), fixture.window.sidebar().rowOf(SidebarDestination::privacy));

        // A section title is never chosen.
        fixture.state().calls.clear();
        QTest::mouseClick(fixture.list().viewport(), Qt::LeftButton, {},
                          fixture.list().visualRect(fixture.list().model()->index(0, 0)).center());
        WindowFixture::settle();
        QVERIFY(fixture.state().calls.empty());
        QCOMPARE(fixture.selectedRow(), fixture.window.sidebar().rowOf(SidebarDestination::privacy));
    }

    void theAlertFollowsTheErrorAndEveryDismissalClearsIt() {
        WindowFixture fixture("basicMode");
        ErrorAlert& alert = fixture.window.errorAlert();
        QVERIFY(!alert.dialog());
        const QString markup = "Messages refresh failed: <b>disk</b> <img src=\"/etc/hostname\">";
        fixture.state().lines().showError(markup.toStdString());
        WindowFixture::settle();
        QPointer<ConfirmDialog> dialog = alert.dialog();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->text(), "Nudgerly");
        QCOMPARE(dialog->informativeText(), markup);
        QVERIFY(dialog->buttonTitled("OK"));
        QCOMPARE(dialog->buttons().size(), 1);

        fixture.state().lines().showError("Gmail refresh failed");
        WindowFixture::settle();
        QCOMPARE(alert.dialog(), dialog.data());
        QCOMPARE(dialog->informativeText(), "Gmail refresh failed");

        // The message going away closes the alert.
        fixture.state().lines().clearError();
        WindowFixture::settle();
        QVERIFY(!dialog || !dialog->isVisible());

        // OK and Escape both clear the message.
        fixture.state().lines().showError("First");
        WindowFixture::settle();
        alert.dialog()->buttonTitled("OK")->click();
        QVERIFY(!fixture.state().state().errorMessage);
        fixture.state().lines().showError("Second");
        WindowFixture::settle();
        QTest::keyClick(alert.dialog(), Qt::Key_Escape);
        QVERIFY(!fixture.state().state().errorMessage);
    }

    void whileASignInWaitsTheAlertOffersToCancelIt() {
        WindowFixture fixture("gmailAuthorizing");
        fixture.state().lines().showError("Finish signing in to Google in your browser.");
        WindowFixture::settle();
        ConfirmDialog* dialog = fixture.window.errorAlert().dialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->buttons().size(), 2);
        QVERIFY(dialog->buttonTitled("Cancel authorization")->property("destructive").toBool());
        dialog->buttonTitled("Keep waiting")->click();
        QVERIFY(!fixture.state().state().errorMessage);
        QVERIFY(fixture.state().calls.empty());

        fixture.state().lines().showError("Still waiting.");
        WindowFixture::settle();
        fixture.window.errorAlert().dialog()->buttonTitled("Cancel authorization")->click();
        QCOMPARE(fixture.state().calls, std::vector<std::string>{"cancelGmailAuthorization()"});
        QVERIFY(!fixture.state().state().errorMessage);

        // Buttons are chosen when the alert opens: a sign-in that ended since does not change them.
        fixture.state().lines().showError("Again.");
        WindowFixture::settle();
        fixture.state().published().setGmailAuthorizationInProgress(false);
        WindowFixture::settle();
        QCOMPARE(fixture.window.errorAlert().dialog()->buttons().size(), 2);
    }

    void theMenusFollowTheStateAndTheirShortcutsWork() {
        WindowFixture fixture;
        QCOMPARE(fixture.action("refreshAction")->text(), "Refresh All");
        fixture.state().published().setSourceFilter(ReviewSource::gmail);
        WindowFixture::settle();
        QCOMPARE(fixture.action("refreshAction")->text(), "Refresh Gmail");
        QCOMPARE(fixture.action("sendFeedbackAction")->text(), "Send Feedback\u2026");
        QCOMPARE(fixture.action("checkForUpdatesAction")->text(), "Check for Updates\u2026");

        fixture.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&fixture.window));
        fixture.state().calls.clear();  // the queue page reconciles the selection when it is shown
        QTest::keyClick(&fixture.window, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(fixture.state().calls, std::vector<std::string>{"refreshCurrentView()"});
        QTest::keyClick(&fixture.window, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(fixture.state().state().section, Section::feedback);

        // The shortcuts belong to the application: the settings window answers them too.
        fixture.window.openSettings();
        QVERIFY(QTest::qWaitForWindowActive(fixture.window.settingsWindow()));
        QTest::keyClick(fixture.window.settingsWindow(), Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(fixture.state().calls.size(), 2u);

        fixture.action("quitAction")->trigger();
        QCOMPARE(fixture.quitRequests, 1);
        fixture.window.close();  // closing asks to quit and leaves the window to the shutdown
        QCOMPARE(fixture.quitRequests, 2);
        QVERIFY(fixture.window.isVisible());
    }

    // While the saved queues are read the window shows its frame alone and offers nothing to act with;
    // Ctrl+R then starts no refresh.
    void whileTheSavedQueuesAreReadTheWindowShowsItsFrameAlone() {
        WindowFixture fixture;
        fixture.state().published().setIsLoadingSavedQueues(true);
        fixture.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&fixture.window));
        QVERIFY(!fixture.window.centralWidget()->isVisible());
        fixture.state().calls.clear();
        QTest::keyClick(&fixture.window, Qt::Key_R, Qt::ControlModifier);
        QVERIFY(!fixture.action("settingsAction")->isEnabled());
        QVERIFY(fixture.state().calls.empty());

        fixture.state().published().setIsLoadingSavedQueues(false);
        WindowFixture::settle();
        QVERIFY(fixture.window.centralWidget()->isVisible());
        QTest::keyClick(&fixture.window, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(fixture.state().calls.back(), "refreshCurrentView()");
    }

    void checkingForUpdatesShowsTheUpdatersNotice() {
        WindowFixture fixture;
        fixture.action("checkForUpdatesAction")->trigger();
        auto* notice = fixture.window.findChild<ConfirmDialog*>();
        QVERIFY(notice);
        QCOMPARE(notice->informativeText(), "Updates come from the package manager.");
    }

    void quittingWithNothingRunningEndsAtOnce() {
        ScreenFixture screen;
        int finished = 0;
        TerminationController termination(screen.state, [&] { ++finished; });
        termination.requestQuit();
        QCOMPARE(screen.state.calls, std::vector<std::string>{"shutdownForTermination()"});
        QCOMPARE(finished, 1);
    }

    void aQuitWaitsForTheOneShutdownHoweverOftenItIsAsked() {
        QtMainQueue queue;
        FixedClock clock;
        SlowShutdownState state(queue, clock);
        int finished = 0;
        TerminationController termination(state, [&] { ++finished; });
        termination.requestQuit();
        termination.requestQuit();
        QVERIFY(termination.isTerminating());
        QCOMPARE(state.calls, std::vector<std::string>{"shutdownForTermination()"});
        QCOMPARE(finished, 0);
        state.pendingShutdowns.front()();
        QCOMPARE(finished, 1);
        termination.requestQuit();
        QCOMPARE(state.calls.size(), 1u);
    }

    void sigtermAndSigintAskToQuitLikeTheMenu() {
        QtMainQueue queue;
        FixedClock clock;
        SlowShutdownState state(queue, clock);
        int finished = 0;
        struct sigaction before {};
        sigaction(SIGTERM, nullptr, &before);
        {
            TerminationSignals caught;
            std::raise(SIGTERM);  // while the program starts: held until the controller watches
            QCoreApplication::processEvents();
            TerminationController termination(state, [&] { ++finished; });
            termination.watchSignals(caught);
            QVERIFY(state.calls.empty());
            QTRY_COMPARE(state.calls.size(), 1u);
            std::raise(SIGINT);  // its byte is in the pipe when raise returns: one pass of events reads it
            QCoreApplication::processEvents();
            QCOMPARE(state.calls.size(), 1u);  // the shutdown already under way serves it
            state.pendingShutdowns.front()();
            QCOMPARE(finished, 1);
        }
        // The signals' catcher gone, they are back to what they were.
        struct sigaction current {};
        sigaction(SIGTERM, nullptr, &current);
        QVERIFY(current.sa_handler == before.sa_handler);
    }

    void activationAfterStartUpRunsTheRechecks() {
        ScreenFixture screen;
        ActivationWatcher watcher(screen.state, Qt::ApplicationInactive);
        watcher.applicationStateChanged(Qt::ApplicationActive);  // starting up
        QVERIFY(screen.state.calls.empty());
        watcher.applicationStateChanged(Qt::ApplicationInactive);
        watcher.applicationStateChanged(Qt::ApplicationActive);
        QCOMPARE(screen.state.calls, (std::vector<std::string>{"appDidBecomeActive()"}));

        ScreenFixture activeAlready;
        ActivationWatcher started(activeAlready.state, Qt::ApplicationActive);
        started.applicationStateChanged(Qt::ApplicationActive);
        QCOMPARE(activeAlready.state.calls.size(), 1u);
    }

    void theContactsQuestionWaitsForTheUsersAnswer() {
        QtMainQueue queue;
        QWidget window;
        ContactsAccessDialog prompt(queue);
        prompt.setWindow(&window);
        // The answer, or nothing when no question was put.
        const auto ask = [&](const QString& answer) -> std::optional<bool> {
            std::stop_source stop;
            auto allowed =
                std::async(std::launch::async, [&] { return prompt.askForContactsAccess(stop.get_token()); });
            ConfirmDialog* dialog = nullptr;
            (void)QTest::qWaitFor([&] { return (dialog = window.findChild<ConfirmDialog*>()) != nullptr; });
            if (!dialog) {
                stop.request_stop();
                allowed.get();
                return std::nullopt;
            }
            if (answer.isEmpty()) {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else {
                dialog->buttonTitled(answer)->click();
            }
            const bool result = allowed.get();
            delete dialog;
            return result;
        };
        QVERIFY(ask("Allow") == std::optional(true));
        QVERIFY(ask("Don\u2019t Allow") == std::optional(false));
        QVERIFY(ask(QString()) == std::optional(false));  // closed without an answer

        // A stop ends the wait without an answer.
        std::stop_source stop;
        auto allowed = std::async(std::launch::async, [&] { return prompt.askForContactsAccess(stop.get_token()); });
        QTRY_VERIFY(window.findChild<ConfirmDialog*>());
        stop.request_stop();
        QVERIFY(!allowed.get());
    }
};

NUDGERLY_UI_TEST(ShellTests);

}  // namespace nudgerly::test

#include "ShellTests.moc"
