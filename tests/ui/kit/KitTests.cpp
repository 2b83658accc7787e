#include <thread>
#include <vector>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QVBoxLayout>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/FirstFitLayout.h"
#include "ui/kit/Look.h"
#include "ui/kit/PageFrame.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/StateBridge.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly::test {
namespace {

// A widget with a fixed ideal size, as the pickers and buttons of a header are.
QWidget* block(int width, QWidget* parent) {
    auto* widget = new QWidget(parent);
    widget->setFixedSize(width, 20);
    return widget;
}

const QString markup = QStringLiteral("<b>Maya</b> <img src=\"/etc/hostname\"> & <a href=\"x\">link</a>");

}  // namespace

class KitTests : public QObject {
    Q_OBJECT

private slots:
    void theLookIsFusionOnALightPaletteInDejaVuSans() {
        auto* style = qobject_cast<QProxyStyle*>(QApplication::style());
        QVERIFY(style);
        QCOMPARE(style->baseStyle()->name(), "fusion");
        QCOMPARE(QApplication::palette().color(QPalette::Window), Look::windowBackground());
        QCOMPARE(QFontInfo(QApplication::font()).family(), "DejaVu Sans");
        QCOMPARE(QApplication::font().pixelSize(), 13);
        QPushButton button("Refresh");
        Look::setProminent(button);
        Look::setDestructive(button, false);
        QVERIFY(button.property("prominent").toBool());
        QVERIFY(!button.property("destructive").toBool());
    }

    void firstFitMovesToItsLaterArrangementsAsItNarrows() {
        QWidget container;
        auto* fit = new FirstFitLayout(&container);
        fit->setHorizontalSpacing(8);
        fit->setVerticalSpacing(8);
        for (const int width : {100, 100, 100, 60}) {
            fit->addWidget(block(width, &container));
        }
        fit->addArrangement({{0, 1, 2, 3}});    // 384 wide
        fit->addArrangement({{0, 1, 2}, {3}});  // 316
        fit->addArrangement({{0, 1}, {2, 3}});  // 208
        QCOMPARE(fit->arrangementForWidth(400), 0);
        QCOMPARE(fit->arrangementForWidth(384), 0);
        QCOMPARE(fit->arrangementForWidth(383), 1);
        QCOMPARE(fit->arrangementForWidth(316), 1);
        QCOMPARE(fit->arrangementForWidth(250), 2);
        QCOMPARE(fit->arrangementForWidth(100), 2);  // nothing fits: the last
        QCOMPARE(fit->heightForWidth(400), 20);
        QCOMPARE(fit->heightForWidth(300), 48);

        container.resize(400, 20);
        container.show();
        QCoreApplication::processEvents();
        QCOMPARE(fit->currentArrangement(), 0);
        QWidget* last = fit->itemAt(3)->widget();
        QCOMPARE(last->pos(), QPoint(324, 0));
        container.resize(300, 48);
        QCoreApplication::processEvents();
        QCOMPARE(fit->currentArrangement(), 2);
        QCOMPARE(last->pos(), QPoint(108, 28));

        // A hidden widget takes no room: the first arrangement fits again at 316.
        last->hide();
        QCOMPARE(fit->arrangementForWidth(316), 0);
    }

    void elidedLabelsCutToTheirLinesAndShowMarkupLiterally() {
        ElidedLabel label(TextStyle::body, Tone::primary, 2);
        label.setText(QStringLiteral("one two three four five six seven eight nine ten eleven twelve thirteen"));
        label.resize(120, label.heightForWidth(120));
        QCOMPARE(label.displayedLines().size(), 2);
        QVERIFY(label.isElided());
        QVERIFY(label.displayedLines().last().endsWith(QChar(0x2026)));
        QCOMPARE(label.heightForWidth(120), label.heightForWidth(60));  // never past two lines

        label.setMaxLines(1);
        label.setText(markup);
        label.resize(2000, 20);
        QCOMPARE(label.displayedLines(), QStringList{markup});
        QVERIFY(!label.isElided());
        QVERIFY(label.minimumSizeHint().width() < 40);
    }

    void wrapLabelsGrowAsTheyNarrowAndShowMarkupLiterally() {
        WrapLabel label(TextStyle::subheadline, Tone::secondary);
        label.setText(markup + QStringLiteral(" and enough further words to wrap onto several lines of text"));
        QCOMPARE(label.textFormat(), Qt::PlainText);
        QVERIFY(label.hasHeightForWidth());
        QVERIFY(label.heightForWidth(120) > label.heightForWidth(800));
        QVERIFY(label.minimumSizeHint().width() <= 120);
        QCOMPARE(label.sizeHint().height(), label.heightForWidth(label.sizeHint().width()));

        // Sizes already answered follow a new text and a new font.
        const int wrapped = label.heightForWidth(120);
        const int ideal = label.sizeHint().width();
        label.setText(label.text() + label.text());
        QVERIFY(label.heightForWidth(120) > wrapped);
        QVERIFY(label.sizeHint().width() > ideal);
        const int longer = label.heightForWidth(120);
        label.setTextStyle(TextStyle::title);
        QVERIFY(label.heightForWidth(120) > longer);
    }

    void aPageFrameScrollsRatherThanCutsWrappedText() {
        PageFrame page(24);
        auto* text = new WrapLabel;
        QString words;
        for (int i = 0; i < 200; ++i) {
            words += QStringLiteral("word ");
        }
        text->setText(words);
        page.addBlock(text);
        page.resize(400, 200);
        page.show();
        QCoreApplication::processEvents();
        QVERIFY(page.column().width() <= 800);
        QTRY_COMPARE(text->height(), text->heightForWidth(text->width()));
        QVERIFY(page.verticalScrollBar()->maximum() > 0);

        // Text that grows later is followed too.
        text->setText(words + words);
        QTRY_COMPARE(text->height(), text->heightForWidth(text->width()));
    }

    void tooltipsShowMarkupLiterally() {
        QWidget widget;
        setPlainToolTip(widget, markup);
        QVERIFY(widget.toolTip().contains(QStringLiteral("&lt;b&gt;Maya&lt;/b&gt;")));
        QVERIFY(!widget.toolTip().contains(QStringLiteral("<img")));
        setPlainToolTip(widget, {});
        QVERIFY(widget.toolTip().isEmpty());
    }

    void confirmationsShowTheirTextsPlainAndCancelSafely() {
        int deleted = 0;
        ConfirmDialog dialog("Delete saved Nudgerly queue data?", markup,
                             {{"Delete Local Data", ConfirmButton::Role::destructive, [&] { ++deleted; }},
                              {"Cancel", ConfirmButton::Role::cancel, [&] { deleted += 100; }}});
        QCOMPARE(dialog.textFormat(), Qt::PlainText);
        auto* informative = dialog.findChild<QLabel*>("qt_msgbox_informativelabel");
        QVERIFY(informative);
        QCOMPARE(informative->textFormat(), Qt::PlainText);
        QCOMPARE(informative->text(), markup);
        QPushButton* destroy = dialog.buttonTitled("Delete Local Data");
        QPushButton* cancel = dialog.buttonTitled("Cancel");
        QVERIFY(destroy->property("destructive").toBool());
        QCOMPARE(dialog.escapeButton(), cancel);
        QCOMPARE(dialog.defaultButton(), cancel);

        dialog.open();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(deleted, 0);  // the cancel button does nothing else

        dialog.open();
        destroy->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(deleted, 1);
    }

    void aConfirmationWithoutADestructiveButtonDefaultsToItsAction() {
        int started = 0;
        ConfirmDialog dialog("Download Qwen3 4B?", "Nudgerly will download the model over HTTPS.",
                             {{"Download 2.50 GB Model", ConfirmButton::Role::none, [&] { ++started; }},
                              {"Cancel", ConfirmButton::Role::cancel, {}}});
        QCOMPARE(dialog.defaultButton(), dialog.buttonTitled("Download 2.50 GB Model"));
        QCOMPARE(dialog.escapeButton(), dialog.buttonTitled("Cancel"));
        dialog.open();
        QTest::keyClick(&dialog, Qt::Key_Return);
        QCOMPARE(started, 1);
    }

    void theBridgeTellsEachEventLoopPassOnceWithEveryFieldWritten() {
        ScreenFixture fixture("ready");
        StateBridge bridge(fixture.state);
        std::vector<StateFieldSet> heard;
        connect(&bridge, &StateBridge::changed, this, [&](const StateFieldSet& fields) { heard.push_back(fields); });
        QCoreApplication::processEvents();  // the fixture's own writes
        heard.clear();

        fixture.state.setSearch("maya");
        fixture.state.setSelectedItemID("messages-maya");
        fixture.state.lines().showActivity("Refreshing");
        QVERIFY(heard.empty());  // nothing is told inside the writing code
        QCoreApplication::processEvents();
        QCOMPARE(heard.size(), 1u);
        QCOMPARE(heard[0], (StateFieldSet{StateField::search, StateField::selectedItemID, StateField::activity}));
        QVERIFY(StateBridge::touches(heard[0], {StateField::section, StateField::search}));
        QVERIFY(!StateBridge::touches(heard[0], {StateField::section, StateField::snapshots}));
        QCoreApplication::processEvents();
        QCOMPARE(heard.size(), 1u);
    }

    void theQtMainQueueRunsWorkFromAnyThreadInOrderOnTheGuiThread() {
        QtMainQueue queue;
        QVERIFY(queue.isMainThread());
        std::vector<int> order;
        bool ranOnMain = true;
        std::thread worker([&] {
            ranOnMain = !queue.isMainThread();
            for (int i = 0; i < 3; ++i) {
                queue.post([&, i] {
                    ranOnMain = ranOnMain && queue.isMainThread();
                    order.push_back(i);
                });
            }
            queue.postAfter(std::chrono::milliseconds(1), [&] { order.push_back(9); });
        });
        worker.join();
        QTRY_COMPARE(order.size(), 4u);
        QCOMPARE(order, (std::vector<int>{0, 1, 2, 9}));
        QVERIFY(ranOnMain);
    }
};

NUDGERLY_UI_TEST(KitTests);

}  // namespace nudgerly::test

#include "KitTests.moc"
