// Loaded into the real program by the start-up test (LD_PRELOAD): it reads the window as a person
// sees it, finding widgets by their object names, and writes what it sees to the file named by
// NUDGERLY_UI_PROBE_REPORT, afresh whenever that changes. It never acts on the window; the test
// clicks through the X server. Lines are tab-separated:
//   exposed 0|1          the main window is on screen
//   alert 0|1            a message box is shown
//   page NAME            the object name of the page shown
//   selected LABEL       the sidebar's chosen row
//   row LABEL X Y        a sidebar row and the screen point at its middle
//   title TEXT           the queue's title ("Queue", "Completed")
//   items N              rows of the queue list
//   activity TEXT        the activity bar's status
//   empty TEXT           the title of the queue's empty state, when shown
//   button TEXT X Y 0|1  a shown button of that empty state, its middle, and whether it is enabled
#include <cstdlib>

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QStackedWidget>
#include <QTimer>
#include <QWindow>

namespace {

constexpr int intervalMilliseconds = 20;

QString point(const QWidget& widget, const QPoint& local) {
    const QPoint global = widget.mapToGlobal(local);
    return QString::number(global.x()) + '\t' + QString::number(global.y());
}

QWidget* mainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("mainWindow")) {
            return widget;
        }
    }
    return nullptr;
}

QStringList seen() {
    QWidget* window = mainWindow();
    if (!window) {
        return {};
    }
    QStringList lines;
    const bool exposed = window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed();
    lines << QStringLiteral("exposed\t") + (exposed ? '1' : '0');
    bool alert = false;
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        alert = alert || (widget->isVisible() && qobject_cast<const QMessageBox*>(widget));
    }
    lines << QStringLiteral("alert\t") + (alert ? '1' : '0');
    if (const auto* pages = window->findChild<QStackedWidget*>(QStringLiteral("pages"));
        pages && pages->currentWidget()) {
        lines << QStringLiteral("page\t") + pages->currentWidget()->objectName();
    }
    if (const auto* sidebar = window->findChild<QAbstractItemView*>(QStringLiteral("sidebarList"))) {
        lines << QStringLiteral("selected\t") + sidebar->currentIndex().data().toString();
        const QAbstractItemModel& rows = *sidebar->model();
        for (int row = 0; row < rows.rowCount(); ++row) {
            const QModelIndex index = rows.index(row, 0);
            lines << QStringLiteral("row\t") + index.data().toString() + '\t' +
                         point(*sidebar->viewport(), sidebar->visualRect(index).center());
        }
    }
    // The queue's labels draw their own text and name it for accessibility.
    if (const auto* title = window->findChild<QWidget*>(QStringLiteral("queueTitle"))) {
        lines << QStringLiteral("title\t") + title->accessibleName();
    }
    if (const auto* list = window->findChild<QAbstractItemView*>(QStringLiteral("queueList"))) {
        lines << QStringLiteral("items\t") + QString::number(list->isVisible() ? list->model()->rowCount() : 0);
    }
    if (const auto* activity = window->findChild<QWidget*>(QStringLiteral("activityText"))) {
        lines << QStringLiteral("activity\t") + activity->accessibleName();
    }
    if (const auto* empty = window->findChild<QWidget*>(QStringLiteral("emptyState")); empty && empty->isVisible()) {
        if (const auto* title = empty->findChild<QLabel*>(QStringLiteral("placeholderTitle"))) {
            lines << QStringLiteral("empty\t") + title->text();
        }
        for (const QPushButton* button : empty->findChildren<QPushButton*>()) {
            if (button->isVisible()) {
                lines << QStringLiteral("button\t") + button->text() + '\t' + point(*button, button->rect().center()) +
                             '\t' + (button->isEnabled() ? '1' : '0');
            }
        }
    }
    return lines;
}

void startProbe() {
    const char* path = std::getenv("NUDGERLY_UI_PROBE_REPORT");
    if (!path || !*path) {
        return;
    }
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(intervalMilliseconds);
    QObject::connect(timer, &QTimer::timeout, [file = QString::fromLocal8Bit(path), last = QByteArray()]() mutable {
        const QByteArray report = seen().join('\n').toUtf8() + '\n';
        if (report == last) {
            return;
        }
        QSaveFile out(file);  // the test never reads half a report
        if (out.open(QIODevice::WriteOnly) && out.write(report) == report.size() && out.commit()) {
            last = report;
        }
    });
    timer->start();
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
