#include "ui/shell/MainWindow.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "services/UpdateController.h"
#include "ui/accounts/AccountsPage.h"
#include "ui/accounts/GmailConnectionGuide.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/Divider.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/StateBridge.h"
#include "ui/setup/PrivacyPage.h"
#include "ui/shell/ActivityBar.h"
#include "ui/shell/CommandCenterPage.h"
#include "ui/shell/ErrorAlert.h"
#include "ui/shell/Sidebar.h"

namespace nudgerly {
namespace {

QAction* menuAction(QMenu& menu, const QString& text, const QKeySequence& shortcut, const char* name) {
    QAction* action = menu.addAction(text);
    action->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::ApplicationShortcut);  // the settings window answers them too
    }
    return action;
}

}  // namespace

MainWindow::MainWindow(StateBridge& bridge, MainWindowServices services, QWidget* parent)
    : QMainWindow(parent), bridge_(bridge), services_(std::move(services)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Nudgerly"));

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    sidebar_ = new Sidebar(bridge_, splitter);
    splitter->addWidget(sidebar_);

    auto* detail = new QWidget(splitter);
    detail->setObjectName(QStringLiteral("detailColumn"));
    auto* column = new QVBoxLayout(detail);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    pages_ = new QStackedWidget(detail);
    pages_->setObjectName(QStringLiteral("pages"));
    // In the order of Section: queue, accounts, privacy, feedback.
    pages_->addWidget(new CommandCenterPage(bridge_.state(), pages_));
    pages_->addWidget(new AccountsPage(bridge_.state(), services_.updates, pages_));
    pages_->addWidget(new PrivacyPage(bridge_, pages_));
    pages_->addWidget(new FeedbackPage(bridge_, services_.feedback, pages_));
    column->addWidget(pages_, 1);
    column->addWidget(new Divider(Qt::Horizontal, detail));
    column->addWidget(new ActivityBar(bridge_.state(), detail));
    splitter->addWidget(detail);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    // The content is at least this large; the menu bar, where the desktop draws it inside, comes on top.
    splitter->setMinimumSize(minimumContentSize);
    splitter->setSizes({sidebar_->sizeHint().width(), minimumContentSize.width() - sidebar_->sizeHint().width()});

    errorAlert_ = new ErrorAlert(bridge_, *this);
    buildMenus();
    resize(minimumSizeHint());
    connect(&bridge_, &StateBridge::changed, this, [this] { sync(); });
    sync();
}

QWidget& MainWindow::page(Section section) const {
    return *pages_->widget(static_cast<int>(section));
}

void MainWindow::buildMenus() {
    AppStateView& state = bridge_.state();
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    refreshAction_ = menuAction(*file, QString(), QKeySequence(Qt::CTRL | Qt::Key_R), "refreshAction");
    connect(refreshAction_, &QAction::triggered, this, [&state] { state.refreshCurrentView(); });
    settingsAction_ =
        menuAction(*file, QStringLiteral("Settings\u2026"), QKeySequence(Qt::CTRL | Qt::Key_Comma), "settingsAction");
    connect(settingsAction_, &QAction::triggered, this, [this] { openSettings(); });
    file->addSeparator();
    QAction* quit = menuAction(*file, QStringLiteral("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), "quitAction");
    connect(quit, &QAction::triggered, this, [this] { services_.requestQuit(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* feedback = menuAction(*help, QStringLiteral("Send Feedback\u2026"),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), "sendFeedbackAction");
    connect(feedback, &QAction::triggered, this, [&state] { state.setSection(Section::feedback); });
    QAction* updates = menuAction(*help, QStringLiteral("Check for Updates\u2026"), {}, "checkForUpdatesAction");
    connect(updates, &QAction::triggered, this, [this] { checkForUpdates(); });
}

void MainWindow::sync() {
    const AppStateView& state = bridge_.state();
    refreshAction_->setText(buttonText(qtText(state.refreshLabel())));
    pages_->setCurrentIndex(static_cast<int>(state.state().section));
    // Until the saved queues are in, the window shows its frame alone: counts, lists and labels would
    // tell of an empty queue. Nothing that would act on the queues can be reached meanwhile.
    const bool loading = state.state().isLoadingSavedQueues;
    centralWidget()->setVisible(!loading);
    refreshAction_->setEnabled(!loading);
    settingsAction_->setEnabled(!loading);
}

void MainWindow::openSettings() {
    if (!settingsWindow_) {
        settingsWindow_ = new QWidget(this, Qt::Window);
        settingsWindow_->setObjectName(QStringLiteral("settingsWindow"));
        settingsWindow_->setWindowTitle(QStringLiteral("Settings"));
        settingsWindow_->setFixedSize(settingsSize);
        auto* layout = new QVBoxLayout(settingsWindow_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new AccountsPage(bridge_.state(), services_.updates, settingsWindow_));
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

void MainWindow::checkForUpdates() {
    if (const auto notice = services_.updates.checkForUpdates()) {
        ConfirmDialog::present(this, QStringLiteral("Nudgerly"), qtText(*notice),
                               {{QStringLiteral("OK"), ConfirmButton::Role::cancel, nullptr}});
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The window stays until the shutdown it starts has finished and the program ends.
    event->ignore();
    services_.requestQuit();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        emit firstShown();
    }
}

}  // namespace nudgerly
