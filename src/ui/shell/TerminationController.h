#pragma once

#include <functional>

#include <QObject>

class QSocketNotifier;

namespace nudgerly {

class AppStateView;
class TerminationSignals;

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

    // Turns each SIGINT and SIGTERM that `caught` holds into a quit request on the main thread, those
    // that came before this call included, once the event loop runs. `caught` must outlive the
    // controller.
    void watchSignals(TerminationSignals& caught);

private:
    AppStateView& state_;
    std::function<void()> finish_;
    bool terminating_ = false;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace nudgerly
