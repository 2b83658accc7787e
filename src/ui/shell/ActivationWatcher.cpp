#include "ui/shell/ActivationWatcher.h"

#include <QGuiApplication>

#include "state/AppStateView.h"

namespace nudgerly {

ActivationWatcher::ActivationWatcher(AppStateView& state, Qt::ApplicationState current, QObject* parent)
    : QObject(parent), state_(state), initialActivationSeen_(current == Qt::ApplicationActive) {
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState applicationState) { this->applicationStateChanged(applicationState); });
}

void ActivationWatcher::applicationStateChanged(Qt::ApplicationState applicationState) {
    if (applicationState != Qt::ApplicationActive) {
        return;
    }
    if (!initialActivationSeen_) {
        initialActivationSeen_ = true;
        return;
    }
    state_.appDidBecomeActive();
}

}  // namespace nudgerly
