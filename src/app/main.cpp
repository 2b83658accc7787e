// Nudgerly's program: the state object with its real parts, and the window over it. It takes no options.
#include <cstdio>
#include <memory>
#include <optional>

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QWindow>

#include "BuildSettings.h"
#include "app/AppComposition.h"
#include "core/BackgroundExecutor.h"
#include "platform/net/HttpClient.h"
#include "platform/system/SingleInstance.h"
#include "platform/system/TerminationSignals.h"
#include "services/FeedbackClient.h"
#include "services/InstallationReporter.h"
#include "services/PackageManagerUpdater.h"
#include "services/UpdateController.h"
#include "storage/AppEnvironment.h"
#include "ui/kit/Look.h"
#include "ui/kit/QtMainQueue.h"
#include "ui/kit/StateBridge.h"
#include "ui/shell/ActivationWatcher.h"
#include "ui/shell/ContactsAccessDialog.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/QtClipboard.h"
#include "ui/shell/TerminationController.h"

int main(int argc, char** argv) {
    using namespace nudgerly;

    // First of all: a quit signal during the start below then waits for the shutdown, instead of ending
    // the program in the middle of reading its files.
    TerminationSignals terminationSignals;
    // Before anything touches the user's files: a second program over them would save over the first's
    // changes, so a later start shows the running one's window and ends, having written nothing.
    const std::filesystem::path configuration = AppEnvironment::configurationDirectoryForProcess();
    std::optional<SingleInstance> instance = SingleInstance::claim(configuration);
    if (!instance) {
        if (SingleInstance::showRunningInstance(configuration)) {
            return 0;
        }
        std::fputs("Nudgerly is already running.\n", stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nudgerly"));
    // The installed menu entry and icon carry this name, so the desktop matches the window to them.
    QApplication::setDesktopFileName(QStringLiteral(NUDGERLY_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/nudgerly.svg")));
    // The program ends through the termination controller, after its shutdown, never by a window going.
    QApplication::setQuitOnLastWindowClosed(false);
    Look::apply();

    const AppEnvironment environment = AppEnvironment::forProcess();
    QtMainQueue mainQueue;
    ThreadPoolExecutor windowWork;  // the window's own jobs: feedback reports and the install event
    auto contactsPrompt = std::make_shared<ContactsAccessDialog>(mainQueue);
    AppComposition composition(environment, mainQueue, std::make_shared<QtClipboard>(), contactsPrompt);
    AppState& state = composition.state();

    UpdateController updates(environment.info,
                             std::make_unique<PackageManagerUpdater>(UpdateController::versionLabel(environment.info)));
    auto http = std::make_shared<CurlHttpClient>();
    InstallationReporter installReporter(environment.info, environment.settings, http);

    StateBridge bridge(state);
    TerminationController termination(state);
    termination.watchSignals(terminationSignals);
    MainWindow window(bridge,
                      {
                          .updates = updates,
                          .requestQuit = [&termination] { termination.requestQuit(); },
                          .feedback = {std::make_shared<FeedbackClient>(environment.info, http), windowWork, mainQueue},
                      });
    contactsPrompt->setWindow(&window);
    ActivationWatcher activation(state);
    std::unique_ptr<QSocketNotifier> showRequests;
    if (instance->requestDescriptor() >= 0) {
        showRequests = std::make_unique<QSocketNotifier>(instance->requestDescriptor(), QSocketNotifier::Read);
        QObject::connect(showRequests.get(), &QSocketNotifier::activated, &window, [&window, &instance] {
            if (!instance->takeShowRequests()) {
                return;
            }
            // A window the desktop minimised or withdrew is mapped afresh, then raised and given the focus.
            if (!window.windowHandle() || !window.windowHandle()->isExposed()) {
                window.hide();
            }
            window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
            window.show();
            window.raise();
            window.activateWindow();
        });
    }
    QObject::connect(&window, &MainWindow::firstShown, &window, [&windowWork, &installReporter] {
        windowWork.submit("Install event",
                          [&installReporter](std::stop_token stop) { installReporter.reportIfNeeded(stop); });
    });

    state.start();
    window.show();
    const int status = QApplication::exec();
    // Nothing the window started may outlive what it uses.
    windowWork.stop();
    return status;
}
