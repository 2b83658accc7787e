#include <cstdlib>
#include <filesystem>
#include <set>

#include <QListView>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include "app/AppComposition.h"
#include "core/BackgroundExecutor.h"
#include "core/Files.h"
#include "demo/DemoQueue.h"
#include "queues/ManualBackgroundExecutor.h"
#include "services/PackageManagerUpdater.h"
#include "services/UpdateController.h"
#include "statefakes/QuietWindow.h"
#include "statefakes/ScreenFixture.h"
#include "statefakes/WindowServiceStubs.h"
#include "storage/AppFiles.h"
#include "ui/UiTest.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/StateBridge.h"
#include "ui/shell/AppSidebar.h"
#include "ui/shell/ErrorAlert.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/QtClipboard.h"
#include "ui/shell/Sidebar.h"

namespace nudgerly::test {

// The program's own parts, as main puts them together, started offscreen on a demo home.
class DemoStartTests : public QObject {
    Q_OBJECT

private slots:
    void theWindowOpensOnTheDemoQueue() {
        QTemporaryDir root;
        const DemoHome demo = layOutDemoHome(root.filePath("home").toStdString(), "Alex");
        QVERIFY(saveDemoQueue(demo, "Alex") > 0);
        setenv("NUDGERLY_MESSAGES_DATABASE", demo.database.c_str(), 1);

        const AppEnvironment environment =
            AppEnvironment::withHomes(AppInfo(AppInfo::compiledDefaults()), demo.dataHome, demo.configHome);
        QtMainQueue queue;
        ManualBackgroundExecutor windowWork;
        {
            AppComposition composition(environment, queue, std::make_shared<QtClipboard>(), nullptr);
            AppState& state = composition.state();
            StateBridge bridge(state);
            UpdateController updates(environment.info, std::make_unique<PackageManagerUpdater>("Nudgerly"));
            MainWindow window(bridge, {.updates = updates,
                                       .requestQuit = [] {},
                                       .feedback = {std::make_shared<NoSender>(), windowWork, queue}});
            bool startTaskDone = false;
            const auto observation = state.observe([&](const StateFieldSet& changed) {
                startTaskDone = startTaskDone || changed.contains(StateField::modelAvailability);
            });
            state.start();
            window.show();
            QTRY_VERIFY_WITH_TIMEOUT(startTaskDone, 20000);
            QCoreApplication::processEvents();  // the page the start task chose

            QCOMPARE(state.state().section, Section::queue);
            QCOMPARE(window.findChild<QStackedWidget*>("pages")->currentWidget(), &window.page(Section::queue));
            QVERIFY(state.openQueueCount(ReviewSource::messages) > 0);
            QCOMPARE(window.sidebar().list().currentIndex().row(),
                     window.sidebar().rowOf(SidebarDestination::queueAll));
            QCOMPARE(AppSidebar::localAIStatus(state.state()).value, "Basic mode");
            const auto* queueList = window.findChild<QListView*>("queueList");
            QVERIFY(queueList != nullptr);
            QTRY_VERIFY(queueList->model() != nullptr && queueList->model()->rowCount() > 0);

            // The demo shows what the queue is for: each status, a shared link with its picture, a
            // group that asks the user, and one conversation already done.
            std::set<ReviewStatus> statuses;
            bool linkWithPicture = false;
            bool group = false;
            for (const ReviewItem& item : state.visibleItems()) {
                statuses.insert(item.status);
                linkWithPicture = linkWithPicture || (item.messageLinkPreview && item.messageLinkPreview->imagePath &&
                                                      std::filesystem::exists(*item.messageLinkPreview->imagePath));
                group = group || !item.target;
            }
            QCOMPARE(statuses, (std::set{ReviewStatus::reply, ReviewStatus::action, ReviewStatus::nudgerly}));
            QVERIFY(linkWithPicture);
            QVERIFY(group);
            QCOMPARE(state.completedQueueCount(), 1);
        }
        unsetenv("NUDGERLY_MESSAGES_DATABASE");
    }

    // Settings damaged on disk: the window says so once, naming the file kept aside, and the saved
    // Messages queue is still there.
    void damagedSettingsAreToldOfInTheAlertAndTheSavedQueueStays() {
        QTemporaryDir root;
        const DemoHome demo = layOutDemoHome(root.filePath("home").toStdString(), "Alex");
        QVERIFY(saveDemoQueue(demo, "Alex") > 0);
        setenv("NUDGERLY_MESSAGES_DATABASE", demo.database.c_str(), 1);
        const AppInfo info(AppInfo::compiledDefaults());
        const auto settingsFile = AppFiles::settingsFile(
            AppEnvironment::withHomes(info, demo.dataHome, demo.configHome).configurationDirectory);
        writeFileAtomically(settingsFile, "{\"completed-items\": [");

        const AppEnvironment environment = AppEnvironment::withHomes(info, demo.dataHome, demo.configHome);
        QtMainQueue queue;
        {
            AppComposition composition(environment, queue, std::make_shared<QtClipboard>(), nullptr);
            AppState& state = composition.state();
            QuietWindow quiet(state, queue);
            state.start();
            quiet.window.show();
            QTRY_VERIFY(!state.state().isLoadingSavedQueues);
            ConfirmDialog* alert = quiet.window.errorAlert().dialog();
            QVERIFY(alert != nullptr);
            const std::string text = alert->informativeText().toStdString();
            QVERIFY2(text.starts_with("Nudgerly's settings file was damaged, so it was kept aside as \u201C" +
                                      settingsFile.string() + ".corrupt-"),
                     text.c_str());
            QVERIFY(state.openQueueCount(ReviewSource::messages) > 0);
            alert->done(QDialog::Accepted);
            QVERIFY(!state.state().errorMessage);
        }
        unsetenv("NUDGERLY_MESSAGES_DATABASE");
    }
};

NUDGERLY_UI_TEST(DemoStartTests);

}  // namespace nudgerly::test

#include "DemoStartTests.moc"
