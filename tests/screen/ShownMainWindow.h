#pragma once

#include <QCoreApplication>
#include <QCursor>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <string_view>

#include "statefakes/QuietWindow.h"
#include "statefakes/ScreenFixture.h"

namespace nudgerly::test {

// The main window on the fake state object, drawn by the program's own style on the X server: what the
// screen tests measure the pixels of.
struct ShownMainWindow {
    ScreenFixture screen;
    QuietWindow quiet{screen.state, screen.mainQueue};
    MainWindow& window = quiet.window;

    // Shows the window at a fixed size with the pointer hovering nothing; whether it was exposed.
    bool present() {
        window.resize(1200, 900);
        window.show();
        const bool exposed = QTest::qWaitForWindowExposed(&window);
        QCursor::setPos(window.screen()->geometry().bottomRight());
        return exposed;
    }

    // The named state on the given page, with every change painted and sent to the server.
    void show(std::string_view fixture, Section section) {
        PublishedState state = stateFixture(fixture, screen.clock.now());
        state.section = section;
        screen.state.published().replaceAll(std::move(state));
        QCoreApplication::processEvents();
        window.repaint();
    }

    // What the X server holds of `area` of `widget` (all of it by default).
    QImage grab(const QWidget& widget, QRect area = {}) {
        if (area.isNull()) {
            area = widget.rect();
        }
        const QPoint at = widget.mapTo(&window, area.topLeft());
        return window.screen()->grabWindow(window.winId(), at.x(), at.y(), area.width(), area.height()).toImage();
    }
};

}  // namespace nudgerly::test
