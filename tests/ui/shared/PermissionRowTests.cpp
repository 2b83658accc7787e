#include <QPushButton>
#include <QTest>

#include "ui/UiTest.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/WrapLabel.h"
#include "ui/shared/PermissionRow.h"

namespace nudgerly::test {
namespace {

QString propertyOf(const QWidget* widget, const char* name) {
    return widget->property(name).toString();
}

}  // namespace

class PermissionRowTests : public QObject {
    Q_OBJECT

private:
    PermissionRowSpec details(bool connected = false) {
        return {.icon = "message.fill",
                .title = "Messages",
                .detail = "Messages database found.",
                .connected = connected,
                .primaryTitle = "Refresh",
                .primary = [this] { ++primaryPresses; },
                .secondaryTitle = "Check again",
                .secondary = [this] { ++secondaryPresses; }};
    }
    int primaryPresses = 0;
    int secondaryPresses = 0;

private slots:
    void init() { primaryPresses = secondaryPresses = 0; }

    void readinessFollowsConnectedAloneWhateverTheButtons() {
        PermissionRow row(details(true));
        auto* readiness = row.findChild<SymbolLabel*>("readinessLabel");
        auto* icon = row.findChild<SymbolView*>("icon");
        QCOMPARE(readiness->text(), "Ready");
        QCOMPARE(propertyOf(readiness, "symbol"), "checkmark.circle.fill");
        QCOMPARE(propertyOf(readiness, "tone"), "green");
        QCOMPARE(propertyOf(icon, "symbol"), "message.fill");
        QCOMPARE(propertyOf(icon, "tone"), "green");

        PermissionRowSpec waiting = details(false);
        waiting.primary = nullptr;
        waiting.secondary = nullptr;
        row.apply(waiting);
        QCOMPARE(readiness->text(), "Needs setup");
        QCOMPARE(propertyOf(readiness, "symbol"), "exclamationmark.circle");
        QCOMPARE(propertyOf(readiness, "tone"), "orange");
        QCOMPARE(propertyOf(icon, "tone"), "secondary");
    }

    void aButtonShowsOnlyWithBothItsTitleAndItsAction() {
        PermissionRow row(details());
        auto* primary = row.findChild<QPushButton*>("primaryButton");
        auto* secondary = row.findChild<QPushButton*>("secondaryButton");
        QVERIFY(!primary->isHidden() && !secondary->isHidden());
        QCOMPARE(primary->text(), "Refresh");
        QCOMPARE(secondary->text(), "Check again");
        QVERIFY(primary->property("prominent").toBool());

        PermissionRowSpec noAction = details();
        noAction.primary = nullptr;
        noAction.secondaryTitle.reset();
        row.apply(noAction);
        QVERIFY(primary->isHidden());  // not a disabled button: none at all
        QVERIFY(secondary->isHidden());
        // Hidden, not destroyed: the same widgets come back.
        row.apply(details());
        QCOMPARE(row.findChild<QPushButton*>("primaryButton"), primary);
        QVERIFY(!primary->isHidden() && !secondary->isHidden());
    }

    void primaryEnabledDisablesThePrimaryButtonOnly() {
        PermissionRowSpec disabled = details();
        disabled.primaryEnabled = false;
        PermissionRow row(disabled);
        auto* primary = row.findChild<QPushButton*>("primaryButton");
        auto* secondary = row.findChild<QPushButton*>("secondaryButton");
        QVERIFY(!primary->isHidden());
        QVERIFY(!primary->isEnabled());
        QVERIFY(secondary->isEnabled());
        QTest::mouseClick(primary, Qt::LeftButton);
        QCOMPARE(primaryPresses, 0);
    }

    void buttonsRunTheActionsOfTheLatestSpec() {
        PermissionRow row(details());
        QTest::mouseClick(row.findChild<QPushButton*>("primaryButton"), Qt::LeftButton);
        QTest::mouseClick(row.findChild<QPushButton*>("secondaryButton"), Qt::LeftButton);
        QCOMPARE(primaryPresses, 1);
        QCOMPARE(secondaryPresses, 1);

        int replaced = 0;
        PermissionRowSpec next = details();
        next.primary = [&] { ++replaced; };
        row.apply(next);
        QTest::mouseClick(row.findChild<QPushButton*>("primaryButton"), Qt::LeftButton);
        QCOMPARE(replaced, 1);
        QCOMPARE(primaryPresses, 1);
    }

    void anActionMayReplaceTheRowItRunsIn() {
        PermissionRow row(details());
        bool ran = false;
        PermissionRowSpec selfReplacing = details();
        std::string captured = "captured text outlives the replaced details";
        selfReplacing.primary = [&row, &ran, this, captured] {
            row.apply(details(true));  // destroys the content that holds this action
            ran = captured.size() > 10;
        };
        row.apply(selfReplacing);
        QTest::mouseClick(row.findChild<QPushButton*>("primaryButton"), Qt::LeftButton);
        QVERIFY(ran);
        QCOMPARE(row.findChild<SymbolLabel*>("readinessLabel")->text(), "Ready");
    }

    void theStepCaptionShowsOnlyWhenPresent() {
        PermissionRowSpec withStep = details();
        withStep.stepLabel = "Contacts access \u00B7 Required";
        PermissionRow row(withStep);
        auto* step = row.findChild<WrapLabel*>("stepLabel");
        QVERIFY(!step->isHidden());
        QCOMPARE(step->text(), QString::fromUtf8("Contacts access \u00B7 Required"));
        row.apply(details());
        QVERIFY(step->isHidden());
    }

    void aLongDetailWrapsAndMakesTheRowTaller() {
        PermissionRow row(details());
        row.show();
        const int shortHeight = row.heightForWidth(600);
        PermissionRowSpec longer = details();
        longer.detail = "Messages database found.";
        for (int i = 0; i < 6; ++i) {
            longer.detail += " another sentence that makes the detail long enough to wrap onto further lines.";
        }
        row.apply(longer);
        QTRY_VERIFY(row.heightForWidth(600) > shortHeight + 20);
    }

    void ampersandsInButtonTitlesStayAmpersands() {
        PermissionRowSpec withAmpersand = details();
        withAmpersand.primaryTitle = "Save & Refresh";
        PermissionRow row(withAmpersand);
        auto* primary = row.findChild<QPushButton*>("primaryButton");
        QCOMPARE(primary->text(), "Save && Refresh");  // "&&" draws one ampersand and marks no shortcut
    }
};

NUDGERLY_UI_TEST(PermissionRowTests);

}  // namespace nudgerly::test

#include "PermissionRowTests.moc"
