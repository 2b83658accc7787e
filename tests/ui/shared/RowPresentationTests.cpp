#include <cmath>
#include <limits>

#include <QImage>
#include <QPainter>
#include <QTest>

#include "statefakes/StateFixtures.h"
#include "ui/UiTest.h"
#include "ui/shared/QueueRowPainter.h"
#include "ui/shared/RowPresentation.h"

namespace nudgerly::test {
namespace {

const Date now = fixtureNow();
constexpr double day = 86400;

ReviewItem itemAged(std::optional<double> days, ReviewSource source = ReviewSource::messages,
                    ReviewStatus status = ReviewStatus::reply) {
    ReviewItem item{.id = "item",
                    .source = source,
                    .status = status,
                    .person = "Maya Chen",
                    .date = "Mar 7",
                    .summary = "Maya asked about Thursday.",
                    .verdict = "A direct question is open"};
    if (days) {
        item.timestamp = now.addingSeconds(-*days * day);
    }
    return item;
}

}  // namespace

class RowPresentationTests : public QObject {
    Q_OBJECT

private slots:
    void sourcesAndStatusesHaveTheirSymbolsNamesAndColours() {
        const RowPresentation messages =
            rowPresentation(itemAged(1, ReviewSource::messages, ReviewStatus::reply), true, now);
        QCOMPARE(messages.sourceSymbol, "message.fill");
        QCOMPARE(messages.sourceTone, Tone::green);
        QCOMPARE(messages.status, (BadgePresentation{"REPLY", Tone::red}));

        const RowPresentation gmail =
            rowPresentation(itemAged(1, ReviewSource::gmail, ReviewStatus::action), true, now);
        QCOMPARE(gmail.sourceSymbol, "envelope.fill");
        QCOMPARE(gmail.sourceTone, Tone::red);
        QCOMPARE(gmail.status, (BadgePresentation{"TAKE ACTION", Tone::blue}));

        const RowPresentation optional =
            rowPresentation(itemAged(1, ReviewSource::gmail, ReviewStatus::nudgerly), true, now);
        QCOMPARE(optional.status, (BadgePresentation{"OPTIONAL", Tone::orange}));
    }

    void aRowWithoutItsStatusHasNoBadgeAndKeepsItsTexts() {
        const RowPresentation row = rowPresentation(itemAged(1), false, now);
        QVERIFY(!row.status);
        QCOMPARE(row.person, "Maya Chen");
        QCOMPARE(row.summary, "Maya asked about Thursday.");
        QCOMPARE(row.verdict, "A direct question is open");
    }

    void withoutATimestampTheDateTextStandsInForTheBadge() {
        const RowPresentation row = rowPresentation(itemAged(std::nullopt), true, now);
        QVERIFY(!row.age);
        QCOMPARE(row.date, "Mar 7");
    }

    void theAgeBadgeTurnsOrangeAtThreeDaysAndRedAtSeven() {
        QCOMPARE(rowPresentation(itemAged(0.1), true, now).age, (BadgePresentation{"Today", Tone::secondary}));
        QCOMPARE(rowPresentation(itemAged(2.99), true, now).age, (BadgePresentation{"2 days", Tone::secondary}));
        QCOMPARE(rowPresentation(itemAged(3), true, now).age, (BadgePresentation{"3 days", Tone::orange}));
        QCOMPARE(rowPresentation(itemAged(6.99), true, now).age, (BadgePresentation{"6 days", Tone::orange}));
        QCOMPARE(rowPresentation(itemAged(7), true, now).age, (BadgePresentation{"1 week", Tone::red}));
        QCOMPARE(rowPresentation(itemAged(400), true, now).age, (BadgePresentation{"1 year", Tone::red}));
        QCOMPARE(rowPresentation(itemAged(-5), true, now).age, (BadgePresentation{"Today", Tone::secondary}));
    }

    void timestampsWithoutAUsableDayCountTakeTheSecondaryTone() {
        for (const double seconds :
             {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
              -std::numeric_limits<double>::infinity(), -1e300, 1e300, -9.3e23 /* just past 2^63 days */}) {
            QCOMPARE(AgeBadge::color(Date{seconds}, now), Tone::secondary);
            QVERIFY(!AgeBadge::wholeDays(Date{seconds}, now));
        }
        QCOMPARE(AgeBadge::wholeDays(now.addingSeconds(-1e15), now), std::optional<int64_t>(11'574'074'074));
        QCOMPARE(AgeBadge::color(now.addingSeconds(-1e15), now), Tone::red);
    }

    void aLongNameIsCutWhileTheAgeBadgeKeepsItsWidth() {
        ReviewItem item = itemAged(8);
        item.person = QString(80, QLatin1Char('W')).toStdString();
        const RowPresentation row = rowPresentation(item, true, now);
        const auto geometry = QueueConversationRow::layout(row, QRect(0, 0, 360, 0));
        QCOMPARE(geometry.date.size(), AgeBadge::size(*row.age));
        QCOMPARE(geometry.date.right(), 359);
        QVERIFY(geometry.person.right() < geometry.date.left() - 5);
        QCOMPARE(geometry.person.left(), geometry.summary.left());
    }

    void theVerdictStartsTheThirdLineWhenThereIsNoStatusBadge() {
        const auto with = QueueConversationRow::layout(rowPresentation(itemAged(1), true, now), QRect(0, 0, 360, 0));
        const auto without =
            QueueConversationRow::layout(rowPresentation(itemAged(1), false, now), QRect(0, 0, 360, 0));
        QVERIFY(!with.status.isEmpty());
        QVERIFY(with.verdict.left() > with.status.right());
        QVERIFY(without.status.isEmpty());
        QCOMPARE(without.verdict.left(), without.person.left());
    }

    void aLongSummaryTakesTwoLinesAndNoMore() {
        ReviewItem item = itemAged(1);
        const auto oneLine = QueueConversationRow::layout(rowPresentation(item, true, now), QRect(0, 0, 360, 0));
        item.summary = QString(40, QLatin1Char(' ')).replace(QLatin1String(" "), QLatin1String("words ")).toStdString();
        const auto twoLines = QueueConversationRow::layout(rowPresentation(item, true, now), QRect(0, 0, 360, 0));
        item.summary += item.summary + item.summary;
        const auto stillTwo = QueueConversationRow::layout(rowPresentation(item, true, now), QRect(0, 0, 360, 0));
        QVERIFY(twoLines.summary.height() > oneLine.summary.height());
        QCOMPARE(stillTwo.summary.height(), twoLines.summary.height());
        QCOMPARE(stillTwo.height, twoLines.height);
    }

    void rowsPaintWithoutTouchingOutsideTheirRectangle() {
        QImage image(400, 200, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        const RowPresentation row = rowPresentation(itemAged(3), true, now);
        const int height = QueueConversationRow::height(row, 300);
        QueueConversationRow::paint(painter, QRect(50, 20, 300, height), row);
        painter.end();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) != 0) {
                    QVERIFY2(QRect(50, 20, 300, height).contains(x, y),
                             qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
                }
            }
        }
    }
};

NUDGERLY_UI_TEST(RowPresentationTests);

}  // namespace nudgerly::test

#include "RowPresentationTests.moc"
