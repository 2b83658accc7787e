#include "ui/shell/TerminationController.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include "platform/system/TerminationSignals.h"
#include "state/AppStateView.h"

namespace nudgerly {

TerminationController::TerminationController(AppStateView& state, std::function<void()> finish, QObject* parent)
    : QObject(parent), state_(state), finish_(std::move(finish)) {
    if (!finish_) {
        // Not quit(): that first asks every window to close, and the main window answers a close by
        // asking to quit.
        finish_ = [] { QCoreApplication::exit(0); };
    }
}

TerminationController::~TerminationController() {
    delete notifier_;
}

void TerminationController::requestQuit() {
    if (terminating_) {
        return;  // the shutdown under way ends the program
    }
    terminating_ = true;
    state_.shutdownForTermination([this] { finish_(); });
}

void TerminationController::watchSignals(TerminationSignals& caught) {
    if (notifier_) {
        return;
    }
    notifier_ = new QSocketNotifier(caught.descriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this, &caught] {
        if (caught.takeArrivals()) {
            requestQuit();
        }
    });
}

}  // namespace nudgerly
