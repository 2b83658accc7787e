#include <QTest>

#include "ui/UiTest.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/RoundedBox.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/WrapLabel.h"
#include "ui/shared/PageHeader.h"
#include "ui/shared/PrivacyRow.h"
#include "ui/shared/SectionLabel.h"
#include "ui/shared/SidebarStatusLine.h"

namespace nudgerly::test {

class SmallViewsTests : public QObject {
    Q_OBJECT

private slots:
    void neutralWinsOverGoodOnTheStatusDot() {
        QCOMPARE(SidebarStatusLine::dotTone(true, true), Tone::secondary);
        QCOMPARE(SidebarStatusLine::dotTone(false, true), Tone::secondary);
        QCOMPARE(SidebarStatusLine::dotTone(true, false), Tone::green);
        QCOMPARE(SidebarStatusLine::dotTone(false, false), Tone::orange);

        SidebarStatusLine line({.label = "Local AI", .value = "Basic mode", .good = true, .neutral = true});
        auto* dot = line.findChild<RoundedBox*>("dot");
        QCOMPARE(dot->property("tone").toString(), "secondary");
        line.apply({.label = "Local AI", .value = "Installed", .good = true});
        QCOMPARE(line.findChild<RoundedBox*>("dot"), dot);
        QCOMPARE(dot->property("tone").toString(), "green");
        QCOMPARE(line.findChild<ElidedLabel*>("valueLabel")->text(), "Installed");
    }

    void aLongValueIsCutToOneLineWhileALongLabelWraps() {
        SidebarStatusLine line({.label = "A label long enough that it has to wrap onto a second line here",
                                .value = "A value long enough that it cannot fit on one line at this width",
                                .good = true});
        line.resize(180, line.heightForWidth(180));
        line.show();
        QCoreApplication::processEvents();
        auto* value = line.findChild<ElidedLabel*>("valueLabel");
        auto* label = line.findChild<WrapLabel*>("label");
        QVERIFY(value->isElided());
        QCOMPARE(value->displayedLines().size(), 1);
        QVERIFY(label->height() >= 2 * QFontMetrics(label->font()).height());
    }

    void aLongPrivacyDetailWrapsAndKeepsTheIconAtTheTop() {
        const QString shortDetail = "Message content is read locally.";
        QString longDetail;
        for (int i = 0; i < 8; ++i) {
            longDetail += "Nudgerly can download your selected model over HTTPS, but conversation content stays here. ";
        }
        PrivacyRow shortRow("lock.fill", "Messages stay on this computer", shortDetail);
        PrivacyRow longRow("cpu", "Classification runs locally", longDetail);
        QVERIFY(longRow.heightForWidth(500) > shortRow.heightForWidth(500) + 40);

        longRow.resize(500, longRow.heightForWidth(500));
        longRow.show();
        QCoreApplication::processEvents();
        auto* icon = longRow.findChild<SymbolView*>("icon");
        QCOMPARE(icon->property("symbol").toString(), "cpu");
        QCOMPARE(icon->property("tone").toString(), "secondary");
        QCOMPARE(icon->size(), QSize(34, 34));
        QCOMPARE(icon->y(), 14);
        auto* detail = longRow.findChild<WrapLabel*>("detailLabel");
        QVERIFY(detail->geometry().bottom() <= longRow.height() - 14);  // every line is shown
    }

    void headersAndSectionLabelsShowTheirTextsInTheirStyles() {
        PageHeader header("Privacy", "Nudgerly is designed to review communication without taking control.");
        auto* title = header.findChild<WrapLabel*>("titleLabel");
        auto* detail = header.findChild<WrapLabel*>("detailLabel");
        QCOMPARE(title->text(), "Privacy");
        QCOMPARE(title->font().pixelSize(), 22);
        QCOMPARE(title->font().weight(), QFont::DemiBold);
        QCOMPARE(detail->property("tone").toString(), "secondary");

        SectionLabel section("Data handling");
        QCOMPARE(section.text(), "Data handling");
        QCOMPARE(section.font().pixelSize(), 11);
        QCOMPARE(section.property("tone").toString(), "secondary");
    }
};

NUDGERLY_UI_TEST(SmallViewsTests);

}  // namespace nudgerly::test

#include "SmallViewsTests.moc"
