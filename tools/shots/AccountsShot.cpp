#include <QApplication>
#include <QPushButton>

#include "Shot.h"
#include "services/PackageManagerUpdater.h"
#include "services/UpdateController.h"
#include "statefakes/ScreenFixture.h"
#include "ui/accounts/AccountsPage.h"
#include "ui/accounts/GmailConnectionGuide.h"
#include "ui/accounts/LocalAIModelRow.h"
#include "ui/kit/ConfirmDialog.h"

namespace nudgerly::test {
namespace {

constexpr int pageWidth = 860;

// The accounts page on a named state, at its full height.
void savePage(ShotContext& context, std::string_view fixture, const QString& name) {
    ScreenFixture screen(fixture);
    const AppInfo info({{"CFBundleShortVersionString", "1.4"}, {"CFBundleVersion", "27"}});
    UpdateController updates(info, std::make_unique<PackageManagerUpdater>(UpdateController::versionLabel(info)));
    AccountsPage page(screen.state, updates);
    // Laid out once first: the content is measured only once its widgets are shown.
    page.setAttribute(Qt::WA_DontShowOnScreen);
    page.resize(pageWidth, 2000);
    page.show();
    QApplication::processEvents();
    const QWidget& content = *page.widget();
    const int height = content.hasHeightForWidth() ? content.heightForWidth(pageWidth) : content.sizeHint().height();
    context.save(page, name, QSize(pageWidth, height));
}

// The confirmation a button of the Local AI card opens on a named state.
void saveConfirmation(ShotContext& context, std::string_view fixture, const char* button, const QString& name) {
    ScreenFixture screen(fixture);
    LocalAIModelRow row(screen.state);
    row.findChild<QPushButton*>(button)->click();
    ConfirmDialog* dialog = row.openConfirmation();
    if (!dialog) {
        throw std::runtime_error(std::string(button) + " opened no confirmation.");
    }
    context.save(*dialog, name);
}

}  // namespace
}  // namespace nudgerly::test

NUDGERLY_SHOT(accounts, "The accounts page: first run, all ready, downloading, paused and failed downloads") {
    using namespace nudgerly::test;
    savePage(context, "firstRun", "accounts-first-run");
    savePage(context, "ready", "accounts-ready");
    savePage(context, "downloading", "accounts-downloading");
    savePage(context, "paused", "accounts-paused");
    savePage(context, "downloadFailed", "accounts-failed");
}

NUDGERLY_SHOT(gmailGuide, "The Gmail connection guide") {
    using namespace nudgerly;
    GmailConnectionGuide guide([] {}, [] {});
    context.save(guide, "gmail-guide", GmailConnectionGuide::fixedSize);
}

NUDGERLY_SHOT(modelDialogs, "The Local AI card's four confirmations") {
    using namespace nudgerly::test;
    saveConfirmation(context, "firstRun", "downloadButton", "model-dialog-download");
    saveConfirmation(context, "paused", "cancelDownloadButton", "model-dialog-cancel-download");
    saveConfirmation(context, "ready", "removeButton", "model-dialog-remove");
    saveConfirmation(context, "firstRun", "basicModeButton", "model-dialog-basic-mode");
}
