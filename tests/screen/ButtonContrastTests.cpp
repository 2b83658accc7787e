#include "ButtonContrastTests.h"

#include <QCursor>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "ScreenMeasure.h"
#include "statefakes/QuietWindow.h"
#include "statefakes/ScreenFixture.h"

namespace nudgerly::test {

// The main window on the fake state object, drawn by the program's own style on the X server.
struct ButtonContrastTests::ShownWindow {
    ScreenFixture screen;
    QuietWindow quiet{screen.state, screen.mainQueue};
    MainWindow& window = quiet.window;

    // The named state on the given page, with every change painted and sent to the server.
    void show(std::string_view fixture, Section section) {
        PublishedState state = stateFixture(fixture, screen.clock.now());
        state.section = section;
        screen.state.published().replaceAll(std::move(state));
        QCoreApplication::processEvents();
        window.repaint();
    }

    // The button's pixels as the X server holds them.
    QImage grab(const QWidget& button) {
        const QPoint at = button.mapTo(&window, QPoint(0, 0));
        return window.screen()->grabWindow(window.winId(), at.x(), at.y(), button.width(), button.height()).toImage();
    }
};

ButtonContrastTests::ButtonContrastTests() = default;
ButtonContrastTests::~ButtonContrastTests() = default;

void ButtonContrastTests::initTestCase() {
    shown_ = std::make_unique<ShownWindow>();
    shown_->window.resize(1200, 900);
    shown_->window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shown_->window));
    QCursor::setPos(shown_->window.screen()->geometry().bottomRight());  // hovering nothing
}

void ButtonContrastTests::cleanupTestCase() {
    shown_.reset();
}

void ButtonContrastTests::filledButtonTextIsReadable_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<Section>("section");
    QTest::addColumn<QString>("row");  // the permission row holding the button, or none: the queue's
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<double>("minimum");

    QTest::newRow("Refresh All") << "basicMode" << Section::queue << ""
                                 << "Refresh All" << true << 4.5;
    QTest::newRow("Refresh All, disabled") << "firstRun" << Section::queue << ""
                                           << "Refresh All" << false << 3.0;
    QTest::newRow("Connect Gmail") << "basicMode" << Section::accounts << "gmailRow"
                                   << "Connect Gmail" << true << 4.5;
    QTest::newRow("Connect Gmail, disabled") << "firstRun" << Section::accounts << "gmailRow"
                                             << "Connect Gmail" << false << 3.0;
}

void ButtonContrastTests::filledButtonTextIsReadable() {
    QFETCH(QString, fixture);
    QFETCH(Section, section);
    QFETCH(QString, row);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    QFETCH(double, minimum);

    shown_->show(fixture.toStdString(), section);

    QWidget& page = shown_->window.page(section);
    QWidget* holder = row.isEmpty() ? &page : page.findChild<QWidget*>(row);
    QVERIFY(holder != nullptr);
    auto* button = holder->findChild<QPushButton*>(row.isEmpty() ? "refreshButton" : "primaryButton");
    QVERIFY(button != nullptr);
    QCOMPARE(button->text(), text);
    QCOMPARE(button->isEnabled(), enabled);
    QVERIFY2(button->visibleRegion() == QRegion(button->rect()), "the button is not wholly on screen");

    const Measured measured = measure(shown_->grab(*button));
    QVERIFY2(measured.ratio >= minimum, qPrintable(QStringLiteral("text %1 on %2 measures %3:1")
                                                       .arg(QColor(measured.text).name(), QColor(measured.fill).name())
                                                       .arg(measured.ratio, 0, 'f', 2)));
}

}  // namespace nudgerly::test
