#include "ButtonContrastTests.h"

#include <QCursor>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "ScreenMeasure.h"
#include "ShownMainWindow.h"

namespace nudgerly::test {

ButtonContrastTests::ButtonContrastTests() = default;
ButtonContrastTests::~ButtonContrastTests() = default;

void ButtonContrastTests::initTestCase() {
    shown_ = std::make_unique<ShownMainWindow>();
    QVERIFY(shown_->present());
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
