#include <QTest>

#include "statefakes/StateFixtures.h"
#include "ui/UiTest.h"
#include "ui/kit/ElidedText.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/TextStyle.h"
#include "ui/shared/QueueRowPainter.h"

namespace nudgerly::test {

class QueueRowHeightTests : public QObject {
    Q_OBJECT

private slots:
    // Rows are measured from a quick count of summary lines; painting breaks the text for real. The two
    // must agree at every width, or rows would cut their summary or leave a gap.
    void theQuickLineCountAgreesWithTheLineBreaking() {
        const Date now = fixtureNow();
        std::vector<std::string> summaries{
            "",
            "Short.",
            "Ends with blanks that hang past the edge      ",
            "Maya’s reply – “soon” … with typographic punctuation, accents like café and naïve, and more words",
            "Mixed scripts: 会议改到星期四了吗？ and a flag 🇫🇷 at the end of a fairly long summary line",
            "A line break\nin the middle",
            std::string(300, 'W'),
        };
        for (const ReviewItem& item : fixtureItems(ReviewSource::messages, now)) {
            summaries.push_back(item.summary);
        }
        const QFont font = fontFor(TextStyle::subheadline);
        for (const std::string& summary : summaries) {
            RowPresentation row{.person = "Maya", .date = "Mar 7", .summary = summary, .verdict = "Open"};
            for (int width = 80; width <= 900; width += 3) {
                const QueueConversationRow::Geometry geometry =
                    QueueConversationRow::layout(row, QRect(0, 0, width, 0));
                // The text's width: from the end of the icon's spacing to the row's end.
                const int textWidth = width - (geometry.verdict.left() - geometry.icon.left());
                const int broken = static_cast<int>(elideText(qtText(summary), font, textWidth, 2).lines.size());
                if (QueueConversationRow::summaryLines(row, width) != broken || geometry.summaryLines != broken) {
                    QFAIL(qPrintable(QStringLiteral("%1 at %2: quick %3, broken %4")
                                         .arg(qtText(summary))
                                         .arg(width)
                                         .arg(geometry.summaryLines)
                                         .arg(broken)));
                }
            }
        }
    }

    // The list keeps one height per shape of row: the height must not depend on anything else.
    void aRowsHeightFollowsItsShapeAlone() {
        const RowPresentation plain{.person = "A", .date = "Mar 7", .summary = "One line", .verdict = "V"};
        RowPresentation other = plain;
        other.person = "Alexandra Konstantinopoulou-Vanderberg <b>";
        other.date = "February 18, a very long date text";
        other.summary = "Two words";
        other.verdict = "";
        QCOMPARE(QueueConversationRow::height(other, 320), QueueConversationRow::height(plain, 320));
        other.age = BadgePresentation{"3 days", Tone::orange};
        other.status = BadgePresentation{"REPLY", Tone::red};
        RowPresentation badged = plain;
        badged.age = BadgePresentation{"1 week", Tone::red};
        badged.status = BadgePresentation{"TAKE ACTION", Tone::blue};
        QCOMPARE(QueueConversationRow::height(other, 320), QueueConversationRow::height(badged, 320));
    }
};

NUDGERLY_UI_TEST(QueueRowHeightTests);

}  // namespace nudgerly::test

#include "QueueRowHeightTests.moc"
