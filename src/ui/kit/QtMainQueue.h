#pragma once

#include <QObject>

#include "core/MainQueue.h"

namespace nudgerly {

// The main queue of the application: work posted from any thread runs on Qt's GUI thread, one
// piece per event-loop pass, in posting order. Work still pending when the queue is destroyed is
// dropped.
class QtMainQueue final : public MainQueue {
public:
    // Call on the GUI thread, after the QApplication exists.
    QtMainQueue();
    ~QtMainQueue() override;

    void post(std::function<void()> work) override;
    void postAfter(std::chrono::milliseconds delay, std::function<void()> work) override;
    bool isMainThread() const override;

private:
    QObject context_;  // lives on the GUI thread; queued work is delivered through it
};

}  // namespace nudgerly
