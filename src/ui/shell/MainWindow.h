#pragma once

#include <functional>

#include <QMainWindow>
#include <QPointer>

#include "state/Section.h"
#include "ui/setup/FeedbackPage.h"

class QAction;
class QSplitter;
class QStackedWidget;

namespace nudgerly {

class ErrorAlert;
class Sidebar;
class StateBridge;
class UpdateController;

struct MainWindowServices {
    UpdateController& updates;
    // Quit, and closing this window: the program's orderly end.
    std::function<void()> requestQuit;
    FeedbackPage::Services feedback;
};

// The program's one main window: the sidebar beside the page the state chooses (each page made once
// and kept, so drafts and work in flight survive a switch), the activity bar under it, the error alert,
// the menus and the settings window. Closing it quits the program.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr QSize minimumContentSize{980, 650};
    static constexpr QSize settingsSize{800, 600};

    MainWindow(StateBridge& bridge, MainWindowServices services, QWidget* parent = nullptr);

    QWidget& page(Section section) const;
    Sidebar& sidebar() const { return *sidebar_; }
    ErrorAlert& errorAlert() const { return *errorAlert_; }
    // The settings window, once it has been opened.
    QWidget* settingsWindow() const { return settingsWindow_; }

    void openSettings();
    void checkForUpdates();

signals:
    // The window's content was shown for the first time.
    void firstShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void sync();

    StateBridge& bridge_;
    MainWindowServices services_;
    Sidebar* sidebar_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    ErrorAlert* errorAlert_ = nullptr;
    QAction* refreshAction_ = nullptr;
    QAction* settingsAction_ = nullptr;
    QWidget* settingsWindow_ = nullptr;
    bool shown_ = false;
};

}  // namespace nudgerly
