#include <QProgressBar>
#include <QTest>

#include "ui/UiTest.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/SymbolView.h"
#include "ui/shared/RefreshBanner.h"

namespace nudgerly::test {
namespace {

RefreshProgress progress(std::optional<int64_t> completed, std::optional<int64_t> total,
                         ReviewSource source = ReviewSource::messages) {
    return {.source = source, .detail = "Classifying conversations", .completed = completed, .total = total};
}

}  // namespace

class RefreshBannerTests : public QObject {
    Q_OBJECT

private slots:
    void countsShowOnlyWhenBothArePresent() {
        QCOMPARE(RefreshBanner::countText(progress(12, 40)), std::optional<std::string>("12 / 40"));
        QCOMPARE(RefreshBanner::countText(progress(0, 0)), std::optional<std::string>("0 / 0"));
        QVERIFY(!RefreshBanner::countText(progress(12, std::nullopt)));
        QVERIFY(!RefreshBanner::countText(progress(std::nullopt, 40)));
    }

    void theBarIsDeterminateOnlyWithATotalOfAtLeastOne() {
        QCOMPARE(RefreshBanner::fraction(progress(10, 40)), std::optional<double>(0.25));
        QVERIFY(!RefreshBanner::fraction(progress(0, 0)));
        QVERIFY(!RefreshBanner::fraction(progress(3, -1)));
        QVERIFY(!RefreshBanner::fraction(progress(std::nullopt, std::nullopt)));
        QCOMPARE(RefreshBanner::fraction(progress(45, 40)), std::optional<double>(1.0));
        QCOMPARE(RefreshBanner::fraction(progress(-5, 40)), std::optional<double>(0.0));
        QCOMPARE(RefreshBanner::fraction(progress(INT64_MAX, 1)), std::optional<double>(1.0));
    }

    void accessibilityNamesTheSourceAndReadsTheDetailWithItsCounts() {
        QCOMPARE(RefreshBanner::accessibilityLabel(progress(1, 2)), "Messages refresh");
        QCOMPARE(RefreshBanner::accessibilityLabel(progress(1, 2, ReviewSource::gmail)), "Gmail refresh");
        QCOMPARE(RefreshBanner::accessibilityValue(progress(3, 10)),
                 "Classifying conversations. 3 of 10 \u00B7 7 remaining");
        QCOMPARE(RefreshBanner::accessibilityValue(progress(std::nullopt, std::nullopt)), "Classifying conversations");
    }

    void theWidgetFollowsItsProgressInPlace() {
        RefreshBanner banner(progress(12, 40));
        auto* bar = banner.findChild<QProgressBar*>("progressBar");
        auto* count = banner.findChild<ElidedLabel*>("countLabel");
        auto* symbol = banner.findChild<SymbolView*>("sourceSymbol");
        QVERIFY(bar && count && symbol);
        QCOMPARE(bar->maximum(), 1000);
        QCOMPARE(bar->value(), 300);
        QCOMPARE(count->text(), "12 / 40");
        QVERIFY(!count->isHidden());
        QCOMPARE(symbol->property("symbol").toString(), "message.fill");
        QCOMPARE(banner.accessibleName(), "Messages refresh");

        banner.setProgress(progress(std::nullopt, std::nullopt, ReviewSource::gmail));
        QCOMPARE(banner.findChild<QProgressBar*>("progressBar"), bar);
        QCOMPARE(bar->maximum(), 0);  // busy
        QVERIFY(count->isHidden());
        QCOMPARE(symbol->property("symbol").toString(), "envelope.fill");
        QCOMPARE(banner.accessibleName(), "Gmail refresh");
        QCOMPARE(banner.accessibleDescription(), "Classifying conversations");
    }
};

NUDGERLY_UI_TEST(RefreshBannerTests);

}  // namespace nudgerly::test

#include "RefreshBannerTests.moc"
