#pragma once

#include <QGuiApplication>
#include <QObject>

namespace nudgerly {

class AppStateView;

// Tells the state object each time the application becomes active again: first the application's own
// re-checks (Full Disk Access, deleted messages), then the window's (Contacts access). The activation
// that comes with starting up is the initial state, not a return, and is passed over.
class ActivationWatcher : public QObject {
    Q_OBJECT

public:
    // Follows the application's state from now on; `current` is the state it starts from.
    explicit ActivationWatcher(AppStateView& state,
                               Qt::ApplicationState current = QGuiApplication::applicationState(),
                               QObject* parent = nullptr);

    void applicationStateChanged(Qt::ApplicationState applicationState);

private:
    AppStateView& state_;
    bool initialActivationSeen_ = false;
};

}  // namespace nudgerly
