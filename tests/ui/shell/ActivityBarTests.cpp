#include <QTest>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/SymbolView.h"
#include "ui/shell/ActivityBar.h"

namespace nudgerly::test {
namespace {

using Leading = ActivityBarModel::Leading;

// The bar as drawn: which leading part shows, its symbol, its text and the range summary.
struct Shown {
    bool spinner = false;
    QString symbol;
    QString status;  // empty while the status text is hidden
    QString range;   // empty while the range summary is hidden
};

Shown shown(const ActivityBar& bar) {
    const auto* symbol = bar.findChild<SymbolView*>("activitySymbol");
    const auto* status = bar.findChild<ElidedLabel*>("activityText");
    const auto* range = bar.findChild<ElidedLabel*>("rangeSummary");
    return {
        .spinner = !bar.findChild<Spinner*>("activitySpinner")->isHidden(),
        .symbol = symbol->isHidden() ? QString() : symbol->property("symbol").toString(),
        .status = status->isHidden() ? QString() : status->text(),
        .range = range->isHidden() ? QString() : range->text(),
    };
}

}  // namespace

class ActivityBarTests : public QObject {
    Q_OBJECT

private slots:
    void aRefreshOnTheQueuePageLeavesTheProgressToTheBanner() {
        ScreenFixture screen("refreshing");
        const ActivityBarModel onQueue = activityBarModel(screen.state);
        QVERIFY(queueShowsRefreshBanner(screen.state));
        QCOMPARE(onQueue.leading, Leading::none);
        QCOMPARE(onQueue.rangeSummary, std::optional<std::string>(screen.state.rangeSummary()));

        screen.state.published().setSection(Section::accounts);
        const ActivityBarModel onAccounts = activityBarModel(screen.state);
        QVERIFY(!queueShowsRefreshBanner(screen.state));
        QCOMPARE(onAccounts.leading, Leading::spinner);
        QCOMPARE(onAccounts.statusText, "Classifying conversations");  // the first visible step
        QVERIFY(!onAccounts.rangeSummary);
    }

    void aRefreshTheQueueDoesNotShowSpinsInTheBar() {
        ScreenFixture screen("ready");
        screen.state.published().setSourceFilter(ReviewSource::gmail);
        screen.state.published().setRefreshingSources({ReviewSource::messages});
        screen.state.published().setRefreshProgressBySource(
            {{ReviewSource::messages, {.source = ReviewSource::messages, .detail = "Reading recent conversations"}}});
        const ActivityBarModel model = activityBarModel(screen.state);
        QCOMPARE(model.leading, Leading::spinner);
        QCOMPARE(model.statusText, screen.state.state().activity);
        QVERIFY(model.rangeSummary);
    }

    void idleTheBarShowsAWarningAfterAnErrorElseACheck() {
        ScreenFixture screen("errorAlert");
        ActivityBarModel model = activityBarModel(screen.state);
        QCOMPARE(model.leading, Leading::warning);
        QCOMPARE(model.symbol(), "exclamationmark.triangle");
        QCOMPARE(model.statusText, "Messages refresh failed");

        screen.state.dismissError();
        model = activityBarModel(screen.state);
        QCOMPARE(model.leading, Leading::check);
        QCOMPARE(model.symbol(), "checkmark.circle");
    }

    void deletingLocalDataSpinsWithTheActivityText() {
        ScreenFixture screen("deletingLocalData");
        screen.state.published().setSection(Section::privacy);
        const ActivityBarModel model = activityBarModel(screen.state);
        QCOMPARE(model.leading, Leading::spinner);
        QCOMPARE(model.statusText, "Deleting local data");
        QVERIFY(!model.rangeSummary);
    }

    void theBarFollowsTheStateInPlace() {
        ScreenFixture screen("ready");
        ActivityBar bar(screen.state);
        QCOMPARE(bar.objectName(), "activityBar");
        QCOMPARE(bar.height(), 30);
        auto* status = bar.findChild<ElidedLabel*>("activityText");
        Shown now = shown(bar);
        QVERIFY(!now.spinner);
        QCOMPARE(now.symbol, "checkmark.circle");
        QCOMPARE(now.status, "Refreshed at 11:00 AM");
        QCOMPARE(now.range, QString::fromStdString(screen.state.rangeSummary()));

        screen.show("refreshing");
        QCoreApplication::processEvents();
        now = shown(bar);
        QVERIFY(!now.spinner);
        QVERIFY(now.symbol.isEmpty() && now.status.isEmpty());
        QVERIFY(!now.range.isEmpty());

        screen.state.published().setSection(Section::accounts);
        QCoreApplication::processEvents();
        now = shown(bar);
        QVERIFY(now.spinner);
        QVERIFY(now.symbol.isEmpty());
        QCOMPARE(now.status, "Classifying conversations");
        QCOMPARE(bar.findChild<Spinner*>("activitySpinner")->accessibleName(), "Classifying conversations");
        QVERIFY(now.range.isEmpty());
        QCOMPARE(bar.findChild<ElidedLabel*>("activityText"), status);  // the same widgets, updated
    }
};

NUDGERLY_UI_TEST(ActivityBarTests);

}  // namespace nudgerly::test

#include "ActivityBarTests.moc"
