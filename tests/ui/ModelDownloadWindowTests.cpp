#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QPushButton>
#include <QTest>

#include "loopback/PackFileServer.h"
#include "modelpacks/ModelDownloadManager.h"
#include "state/RefreshTestSupport.h"
#include "statefakes/QuietWindow.h"
#include "support/AppStateHarness.h"
#include "ui/UiTest.h"
#include "ui/accounts/LocalAIModelRow.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/WrapLabel.h"
#include "ui/shared/SidebarStatusLine.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"

namespace nudgerly::test {
namespace {

using namespace std::chrono_literals;

// The window over the real state object, whose download managers fetch the first pack from `host`
// over loopback HTTPS with the program's own transport.
struct DownloadWindow {
    explicit DownloadWindow(PackFileServer& host) {
        readyUser(harness);
        harness.catalog.packs[0] = smallPack(harness.catalog.packs[0].identifier, host.contents());
        harness.catalog.packs[0].sourceURL = host.url();
        harness.makeDownloadManager = [this, caFile = host.caFile()](const ModelPack& pack) {
            return std::make_unique<ModelDownloadManager>(ModelDownloadManager::Dependencies{
                .mainQueue = harness.queue,
                .pack = pack,
                .rootDirectory = harness.dataDirectory,
                .configuration = {.caFile = caFile},
            });
        };
        AppState& app = harness.buildAndStart();
        app.setSection(Section::accounts);
        shown = std::make_unique<QuietWindow>(app, harness.queue);
        shown->window.show();
        harness.settle();
    }

    LocalAIModelRow& row() { return *shown->window.findChild<LocalAIModelRow*>(); }
    QString status() { return row().findChild<SymbolLabel*>("modelStatusLabel")->text(); }
    QString detail() { return row().findChild<WrapLabel*>("modelDetail")->text(); }
    QString sidebarLine() {
        return shown->window.sidebar()
            .findChild<SidebarStatusLine*>("localAIStatus")
            ->findChild<ElidedLabel*>("valueLabel")
            ->text();
    }
    void click(const char* button) {
        auto* pressed = row().findChild<QPushButton*>(button);
        QVERIFY(pressed && pressed->isVisible() && pressed->isEnabled());
        QTest::mouseClick(pressed, Qt::LeftButton);
    }
    // Turns the main queue and the window's events until `done`, in real time: the transfer runs on
    // threads of its own.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        return harness.queue.runUntil(
            [&] {
                harness.executor.runAll();
                QCoreApplication::processEvents();
                return done();
            },
            timeout);
    }

    AppStateHarness harness;
    std::unique_ptr<QuietWindow> shown;
};

}  // namespace

class ModelDownloadWindowTests : public QObject {
    Q_OBJECT

private slots:
    void aDownloadFromAHostThatIsDownWaitsPausesAndResumes() {
        PackFileServer host(std::string(std::size_t{2} << 20, 'g'), true);
        DownloadWindow window(host);

        window.click("downloadButton");
        ConfirmDialog* confirm = window.row().openConfirmation();
        QVERIFY(confirm);
        QTest::mouseClick(confirm->buttonTitled("Download 0.00 GB Model"), Qt::LeftButton);

        // The first connection is refused: both places say so, well within half a minute.
        const QString waiting = QString::fromUtf8("Waiting for the network\u2026");
        QVERIFY(window.waitFor([&] { return window.sidebarLine() == waiting; }, 30s));
        QCOMPARE(window.status(), waiting);
        QVERIFY(window.detail().startsWith("Waiting for the network to download "));
        QCOMPARE(window.harness.app().state().activity, "Local AI model download waiting for the network");

        // Nothing has arrived: a pause pauses.
        window.click("pauseButton");
        QVERIFY(window.waitFor([&] { return window.sidebarLine() == "Download paused"; }, 10s));
        QCOMPARE(window.status(), "Paused");
        QVERIFY(!window.shown->window.findChild<ConfirmDialog*>() ||
                !window.shown->window.findChild<ConfirmDialog*>()->isVisible());
        QCOMPARE(window.harness.app().state().errorMessage, std::nullopt);

        host.open();
        window.click("resumeButton");
        QVERIFY(window.waitFor([&] { return window.sidebarLine() == "Installed"; }, 30s));
        QCOMPARE(window.status(), "Installed");
        QCOMPARE(host.requests().size(), std::size_t{1});
    }
};

NUDGERLY_UI_TEST(ModelDownloadWindowTests);

}  // namespace nudgerly::test

#include "ModelDownloadWindowTests.moc"
