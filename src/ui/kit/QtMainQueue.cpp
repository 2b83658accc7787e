#include "ui/kit/QtMainQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace nudgerly {

QtMainQueue::QtMainQueue() {
    assert(QThread::currentThread() == QCoreApplication::instance()->thread());
}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::post(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

void QtMainQueue::postAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    if (isMainThread()) {
        QTimer::singleShot(delay, &context_, std::move(work));
        return;
    }
    // A timer must be started on the thread it fires on.
    post([this, delay, work = std::move(work)]() mutable { QTimer::singleShot(delay, &context_, std::move(work)); });
}

bool QtMainQueue::isMainThread() const {
    return QThread::currentThread() == context_.thread();
}

}  // namespace nudgerly
