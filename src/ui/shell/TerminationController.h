#pragma once

#include <array>
#include <functional>

#include <QObject>
#include <signal.h>

#include "core/UniqueFd.h"

class QSocketNotifier;

namespace nudgerly {

class AppStateView;

// Ends the program in order. Quit, closing the main window and SIGINT/SIGTERM all come here: the first
// request shuts the state object down (work stopped, the model server ended) and the program ends when
// that shutdown reports it has finished; later requests wait for the same shutdown.
class TerminationController : public QObject {
    Q_OBJECT

public:
    // `finish` ends the program; by default it leaves the application's event loop.
    explicit TerminationController(AppStateView& state, std::function<void()> finish = {}, QObject* parent = nullptr);
    ~TerminationController() override;
    TerminationController(const TerminationController&) = delete;
    TerminationController& operator=(const TerminationController&) = delete;

    void requestQuit();
    bool isTerminating() const { return terminating_; }

    // Takes SIGINT and SIGTERM for the life of this controller, turning each into a quit request on the
    // main thread (the handler only writes to a pipe). Throws std::system_error when the pipe cannot be made.
    void watchSignals();

private:
    void signalArrived();

    AppStateView& state_;
    std::function<void()> finish_;
    bool terminating_ = false;
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    QSocketNotifier* notifier_ = nullptr;
    std::array<struct sigaction, 2> previousHandlers_{};
    bool watching_ = false;
};

}  // namespace nudgerly
