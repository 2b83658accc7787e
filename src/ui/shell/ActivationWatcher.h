#pragma once

#include <QGuiApplication>
#include <QObject>

namespace nudgerly {

class AppStateView;

// Tells the state object each time the application becomes active again, so that it re-checks Full
// Disk Access, the deleted messages and Contacts access. The activation that comes with starting up is
// the initial state, not a return, and is passed over.
class ActivationWatcher : public QObject {
    Q_OBJECT

public:
    // Follows the application's state from now on; `current` is the state it starts from.
    explicit ActivationWatcher(AppStateView& state, Qt::ApplicationState current = QGuiApplication::applicationState(),
                               QObject* parent = nullptr);

    void applicationStateChanged(Qt::ApplicationState applicationState);

private:
    AppStateView& state_;
    bool initialActivationSeen_ = false;
};

}  // namespace nudgerly
