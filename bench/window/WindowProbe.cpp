// Loaded into a program by the window benchmark (LD_PRELOAD), the real program and the anchor alike: it
// notes when the list named "queueList" is first painted with rows in it, then types a search into the
// line edit named "searchField" as a person does, one key at a time, and notes how long each key takes
// until what it set off is done: the later of the list's last repaint and the delivery of a marker event
// posted right after the key at low priority, which comes after every event that the key's work posts
// in turn. Then it ends the process. Only active when NUDGERLY_WINDOW_PROBE_REPORT names the report
// file. Lines are tab-separated:
//   firstList NS ROWS     CLOCK_MONOTONIC nanoseconds at the end of the list's first paint, its rows
//   key TEXT MS ROWS 0|1  one key: the search after it, its milliseconds, the rows, whether the list was painted
//   peakKiB N             the process's peak resident size when it ends
// NUDGERLY_WINDOW_PROBE_QUERY is the text typed (default "invoice"); after it the field is cleared with
// Ctrl+A and Backspace, and the Backspace is timed like a key.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include "process/PeakResident.h"

namespace {

constexpr int pauseBeforeTypingMs = 1000;  // a person needs this long to reach the search field
constexpr int pauseBetweenKeysMs = 120;
constexpr int keyWindowMs = 400;  // a key's work is over well within this; its repaints come within it

qint64 monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

class Probe : public QObject {
public:
    Probe(std::string report, QString query) : report_(std::move(report)), query_(std::move(query)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || dispatching_ || !isListViewport(watched)) {
            return false;
        }
        // Paint it now, so that the time taken is the time at the end of the paint.
        dispatching_ = true;
        QCoreApplication::sendEvent(watched, event);
        dispatching_ = false;
        painted(monotonicNs());
        return true;
    }

private:
    enum class Phase { waitingForList, pausing, typing, done };

    bool isListViewport(QObject* object) {
        auto* widget = qobject_cast<QWidget*>(object);
        auto* view = widget ? qobject_cast<QAbstractItemView*>(widget->parentWidget()) : nullptr;
        if (!view || view->viewport() != widget || view->objectName() != QLatin1String("queueList")) {
            return false;
        }
        list_ = view;
        return true;
    }

    int rows() const { return list_ && list_->model() ? list_->model()->rowCount() : 0; }

    void painted(qint64 at) {
        if (phase_ == Phase::waitingForList && rows() > 0) {
            write("firstList\t" + std::to_string(at) + "\t" + std::to_string(rows()));
            phase_ = Phase::pausing;
            QTimer::singleShot(pauseBeforeTypingMs, this, [this] { nextKey(); });
        } else if (phase_ == Phase::typing && keyStart_ > 0) {
            keyPainted_ = true;
            lastPaint_ = at;
        }
    }

    void nextKey() {
        phase_ = Phase::typing;
        QWidget* field = list_ ? list_->window()->findChild<QLineEdit*>(QStringLiteral("searchField")) : nullptr;
        if (!field || typed_ > query_.size()) {
            finish();
            return;
        }
        field->setFocus();
        if (typed_ == query_.size()) {
            sendKey(field, Qt::Key_A, Qt::ControlModifier, {});
            keyText_ = "";
            start();
            sendKey(field, Qt::Key_Backspace, Qt::NoModifier, {});
        } else {
            keyText_ = query_.left(typed_ + 1).toStdString();
            start();
            sendKey(field, Qt::Key_unknown, Qt::NoModifier, query_.mid(typed_, 1));
        }
        ++typed_;
        QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::LowEventPriority);
        QTimer::singleShot(keyWindowMs, this, [this] { endKey(); });
    }

    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            markerAt_ = monotonicNs();
            return true;
        }
        return QObject::event(event);
    }

    void start() {
        keyStart_ = monotonicNs();
        keyPainted_ = false;
        markerAt_ = 0;
        lastPaint_ = 0;
    }

    static void sendKey(QWidget* field, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QCoreApplication::sendEvent(field, &release);
    }

    void endKey() {
        const qint64 end = std::max(markerAt_, lastPaint_);
        write("key\t" + keyText_ + "\t" + std::to_string(static_cast<double>(end - keyStart_) / 1e6) + "\t" +
              std::to_string(rows()) + "\t" + (keyPainted_ ? "1" : "0"));
        keyStart_ = 0;
        QTimer::singleShot(pauseBetweenKeysMs, this, [this] { nextKey(); });
    }

    void finish() {
        phase_ = Phase::done;
        write("peakKiB\t" + std::to_string(nudgerly::test::peakResidentKiB()));
        std::fflush(nullptr);
        _exit(0);
    }

    void write(const std::string& line) {
        std::ofstream out(report_, std::ios::app);
        out << line << '\n';
    }

    std::string report_;
    QString query_;
    Phase phase_ = Phase::waitingForList;
    QPointer<QAbstractItemView> list_;
    bool dispatching_ = false;
    int typed_ = 0;
    std::string keyText_;
    qint64 keyStart_ = 0;
    qint64 markerAt_ = 0;
    qint64 lastPaint_ = 0;
    bool keyPainted_ = false;
};

void startProbe() {
    const char* report = std::getenv("NUDGERLY_WINDOW_PROBE_REPORT");
    if (!report || !*report) {
        return;
    }
    const char* query = std::getenv("NUDGERLY_WINDOW_PROBE_QUERY");
    new Probe(report, QString::fromUtf8(query && *query ? query : "invoice"));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
