#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

#include "ui/UiTest.h"
#include "ui/accounts/GmailConnectionGuide.h"
#include "ui/kit/SymbolLabel.h"

namespace nudgerly::test {

class GmailConnectionGuideTests : public QObject {
    Q_OBJECT

private:
    int continued = 0;
    int cancelled = 0;
    bool visibleWhenAnswered = true;

    // A guide over a window of its own, open as the accounts page opens it.
    std::unique_ptr<GmailConnectionGuide> openGuide(QWidget& window) {
        auto guide = std::make_unique<GmailConnectionGuide>(
            [this, &window] {
                ++continued;
                visibleWhenAnswered = window.findChild<GmailConnectionGuide*>()->isVisible();
            },
            [this] { ++cancelled; }, &window);
        window.show();
        guide->open();
        return guide;
    }

    QStringList texts(const QWidget& guide) {
        QStringList list;
        for (const QLabel* label : guide.findChildren<QLabel*>()) {
            list << label->text();
        }
        for (const SymbolLabel* label : guide.findChildren<SymbolLabel*>()) {
            list << label->text();
        }
        return list;
    }

private slots:
    void init() {
        continued = cancelled = 0;
        visibleWhenAnswered = true;
    }

    void keepsItsSizeAndScrollsItsText() {
        QWidget window;
        window.resize(400, 300);  // smaller than the guide
        const auto guide = openGuide(window);
        QCOMPARE(guide->size(), QSize(590, 610));
        QCOMPARE(guide->minimumSize(), guide->maximumSize());
        QVERIFY(guide->isModal() && guide->windowModality() == Qt::WindowModal);
        auto* scroll = guide->findChild<QScrollArea*>("guideScroll");
        QVERIFY(scroll);
        QVERIFY(scroll->widget()->isAncestorOf(guide->findChild<QWidget*>("step3")));
        QVERIFY(!scroll->widget()->isAncestorOf(guide->findChild<QPushButton*>("continueButton")));
    }

    void saysWhatToCheckAndHowToPassTheWarning() {
        QWidget window;
        const auto guide = openGuide(window);
        const QStringList shown = texts(*guide);
        for (const QString& text : {
                 QStringLiteral("Before you connect Gmail"),
                 QStringLiteral("Google may show an unverified-app warning while Nudgerly\u2019s review is still in "
                                "progress."),
                 QStringLiteral("Continue only after checking these details"),
                 QStringLiteral("If anything is different, close the Google page and cancel authorization in "
                                "Nudgerly."),
                 QStringLiteral("Verify first"),
                 QStringLiteral("You installed Nudgerly from the official Nudgerly website."),
                 QStringLiteral("The browser address starts with https://accounts.google.com."),
                 QStringLiteral("The app name is Nudgerly."),
                 QStringLiteral("The requested Gmail permission is read-only."),
                 QStringLiteral("If Google shows the warning"),
                 QStringLiteral("Click \u201CGo to Nudgerly (unsafe)\u201D only if the checks above match."),
                 QStringLiteral("Nudgerly can read Gmail messages for your private queue. It cannot send, delete, "
                                "archive, relabel, or mark email as read."),
             }) {
            QVERIFY2(shown.contains(text), qPrintable(text));
        }
        QCOMPARE(guide->findChild<QWidget*>("warningBox")->property("tone").toString(), "orange");
        QCOMPARE(guide->findChild<QPushButton*>("cancelButton")->text(), "Cancel");
        QCOMPARE(guide->findChild<QPushButton*>("continueButton")->text(), "Continue to Google");
        QVERIFY(guide->findChild<QPushButton*>("continueButton")->property("prominent").toBool());
    }

    void eachStepIsOneNamedElement() {
        QWidget window;
        const auto guide = openGuide(window);
        QCOMPARE(guide->findChild<QWidget*>("step1")->accessibleName(),
                 "Step 1. Click Advanced. Google first explains that it has not verified Nudgerly.");
        QCOMPARE(guide->findChild<QWidget*>("step2")->accessibleName(),
                 "Step 2. Click \u201CGo to Nudgerly (unsafe)\u201D only if the checks above match. Do not use this "
                 "bypass for an unfamiliar app.");
        QCOMPARE(guide->findChild<QWidget*>("step3")->accessibleName(),
                 "Step 3. Review the permission, then continue. Approve only read-only Gmail access.");
    }

    void returnContinuesOnceAfterTheGuideCloses() {
        QWidget window;
        const auto guide = openGuide(window);
        guide->findChild<QPushButton*>("cancelButton")->setFocus();  // wherever the focus is
        QTest::keyClick(guide.get(), Qt::Key_Return);
        QCOMPARE(continued, 1);
        QCOMPARE(cancelled, 0);
        QVERIFY(!visibleWhenAnswered);
        QVERIFY(!guide->isVisible());
        guide->accept();  // a second answer is not passed on
        guide->reject();
        QCOMPARE(continued, 1);
        QCOMPARE(cancelled, 0);
    }

    void continueButtonContinues() {
        QWidget window;
        const auto guide = openGuide(window);
        QTest::mouseClick(guide->findChild<QPushButton*>("continueButton"), Qt::LeftButton);
        QCOMPARE(continued, 1);
        QCOMPARE(cancelled, 0);
    }

    void escapeCancelButtonAndClosingAllCancel() {
        for (int way = 0; way < 3; ++way) {
            init();
            QWidget window;
            const auto guide = openGuide(window);
            if (way == 0) {
                QTest::keyClick(guide.get(), Qt::Key_Escape);
            } else if (way == 1) {
                QTest::mouseClick(guide->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
            } else {
                guide->close();
            }
            QCOMPARE(cancelled, 1);
            QCOMPARE(continued, 0);
            QVERIFY(!guide->isVisible());
        }
    }
};

NUDGERLY_UI_TEST(GmailConnectionGuideTests);

}  // namespace nudgerly::test

#include "GmailConnectionGuideTests.moc"
