#include "ui/shared/QueueRowPainter.h"

#include <algorithm>
#include <array>
#include <optional>

#include <QFontMetrics>
#include <QPainterPath>

#include "ui/kit/ElidedText.h"
#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/TextStyle.h"

namespace nudgerly {
namespace {

constexpr int rowPadding = 4;
constexpr int iconSpacing = 10;
constexpr int lineSpacing = 3;
constexpr int personSpacing = 6;  // the least room between the name and the date
constexpr int statusSpacing = 6;
constexpr int iconSide = 26;

// A small capsule or rounded rectangle of text on its own colour.
struct BadgeStyle {
    QFont font;
    int horizontalPadding;
    int verticalPadding;
    qreal radius;  // negative: a capsule
    double fillOpacity;
};

BadgeStyle statusStyle() {
    return {fontOfSize(9, FontWeight::bold), 5, 2, 3, 0.1};
}
BadgeStyle ageStyle() {
    return {fontOfSize(9, FontWeight::semibold), 6, 2, -1, 0.1};
}

QSize badgeSize(const BadgeStyle& style, const BadgePresentation& badge) {
    const QFontMetrics metrics(style.font);
    return {idealWidth(qtText(badge.text), style.font) + 2 * style.horizontalPadding,
            metrics.height() + 2 * style.verticalPadding};
}

void paintBadge(QPainter& painter, QPoint topLeft, const BadgeStyle& style, const BadgePresentation& badge) {
    const QRect box(topLeft, badgeSize(style, badge));
    const QColor colour = Look::color(badge.tone);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = style.radius < 0 ? box.height() / 2.0 : style.radius;
    QPainterPath path;
    path.addRoundedRect(QRectF(box), radius, radius);
    painter.fillPath(path, Look::withOpacity(colour, style.fillOpacity));
    painter.setPen(colour);
    painter.setFont(style.font);
    const QFontMetrics metrics(style.font);
    painter.drawText(QPoint(box.left() + style.horizontalPadding, box.top() + style.verticalPadding + metrics.ascent()),
                     qtText(badge.text));
    painter.restore();
}

// What of a font decides its advances, cheap to compare for every row (a font's key is a long text),
// and not the font itself: a font kept until the thread ends would outlive the application's font cache.
struct FontIdentity {
    QString family;
    int pixelSize = 0;
    qreal pointSize = 0;
    int weight = 0;
    int style = 0;
    int stretch = 0;
    qreal letterSpacing = 0;
    qreal wordSpacing = 0;
    int hinting = 0;
    int capitalization = 0;

    explicit FontIdentity(const QFont& font)
        : family(font.family()),
          pixelSize(font.pixelSize()),
          pointSize(font.pointSizeF()),
          weight(font.weight()),
          style(font.style()),
          stretch(font.stretch()),
          letterSpacing(font.letterSpacing()),
          wordSpacing(font.wordSpacing()),
          hinting(font.hintingPreference()),
          capitalization(font.capitalization()) {}
    friend bool operator==(const FontIdentity&, const FontIdentity&) = default;
};

// The advances of the characters of simple scripts (Latin up to U+024F and the general punctuation
// block, where shaping barely changes widths) in one font, to bound a text's width without shaping it.
class AdvanceTable {
public:
    static constexpr char16_t latinEnd = 0x250;
    static constexpr char16_t punctuationStart = 0x2000;
    static constexpr char16_t punctuationEnd = 0x2070;

    // The summed advances of the characters of `text` in the table, and whether it holds no other.
    struct Sum {
        qreal width = 0;
        bool whole = true;
    };

    static Sum width(const QString& text, const QFont& font) {
        thread_local std::optional<AdvanceTable> table;
        if (!table || !(table->font_ == FontIdentity(font))) {
            table.emplace(font);
        }
        Sum sum;
        for (const QChar c : text) {
            const char16_t code = c.unicode();
            if (code < latinEnd) {
                sum.width += table->latin_[code];
            } else if (code >= punctuationStart && code < punctuationEnd) {
                sum.width += table->punctuation_[code - punctuationStart];
            } else {
                sum.whole = false;
            }
        }
        return sum;
    }

    explicit AdvanceTable(const QFont& font) : font_(font) {
        const QFontMetricsF metrics(font);
        for (char16_t code = 0; code < latinEnd; ++code) {
            latin_[code] = metrics.horizontalAdvance(QChar(code));
        }
        for (char16_t code = punctuationStart; code < punctuationEnd; ++code) {
            punctuation_[code - punctuationStart] = metrics.horizontalAdvance(QChar(code));
        }
    }

private:
    FontIdentity font_;
    std::array<qreal, latinEnd> latin_{};
    std::array<qreal, punctuationEnd - punctuationStart> punctuation_{};
};

// The lines the summary takes at `width`, at most two. A list measures every row, and shaping its text
// is the costly part; unless the text holds a line break, its unbroken width tells one line from two,
// and summed advances tell it without shaping unless the text ends close to the edge. Characters
// outside the table only widen a text: the others alone already past the edge make two lines.
int summaryLineCount(const QString& text, const QFont& font, int width) {
    if (text.isEmpty()) {
        return 0;
    }
    if (const qsizetype lineBreak = text.indexOf(QLatin1Char('\n')); lineBreak >= 0) {
        // A break with text after it: the first line ends at the break or sooner, and the rest begins
        // the second.
        if (lineBreak + 1 < text.size()) {
            return 2;
        }
        return static_cast<int>(elideText(text, font, width, 2).lines.size());
    }
    // Blanks at the end hang past the line's end and take no room.
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace()) {
        --end;
    }
    const QString line = text.first(end);
    const AdvanceTable::Sum estimate = AdvanceTable::width(line, font);
    // Kerning moves a line by a little; a margin keeps estimates near the edge out.
    const qreal margin = 2 + width * 0.03;
    if (estimate.whole && estimate.width <= width - margin) {
        return 1;
    }
    if (estimate.width >= width + margin) {
        return 2;
    }
    return QFontMetricsF(font).horizontalAdvance(line) <= width ? 1 : 2;
}

QFont personFont() {
    return fontFor(TextStyle::body, FontWeight::semibold);
}
QFont summaryFont() {
    return fontFor(TextStyle::subheadline);
}
QFont verdictFont() {
    return fontFor(TextStyle::caption);
}
QFont dateFont() {
    return fontFor(TextStyle::caption2);
}

}  // namespace

namespace SourceIcon {

QSize size() {
    return {iconSide, iconSide};
}

void paint(QPainter& painter, QPoint topLeft, const RowPresentation& row) {
    const QRect box(topLeft, size());
    const QColor colour = Look::color(row.sourceTone);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(box), 6, 6);
    painter.fillPath(path, Look::withOpacity(colour, 0.11));
    const int glyph = Symbols::sizeForText(metricsOf(TextStyle::caption).pixelSize);
    const QPixmap symbol = Symbols::tinted(row.sourceSymbol, colour, glyph, painter.device()->devicePixelRatioF());
    const QRect target(QPoint(0, 0), QSize(glyph, glyph));
    painter.drawPixmap(target.translated(box.center() - target.center()), symbol);
    painter.restore();
}

}  // namespace SourceIcon

namespace StatusBadge {
QSize size(const BadgePresentation& badge) {
    return badgeSize(statusStyle(), badge);
}
void paint(QPainter& painter, QPoint topLeft, const BadgePresentation& badge) {
    paintBadge(painter, topLeft, statusStyle(), badge);
}
}  // namespace StatusBadge

namespace AgeBadge {
QSize size(const BadgePresentation& badge) {
    return badgeSize(ageStyle(), badge);
}
void paint(QPainter& painter, QPoint topLeft, const BadgePresentation& badge) {
    paintBadge(painter, topLeft, ageStyle(), badge);
}
}  // namespace AgeBadge

namespace QueueConversationRow {

Geometry layout(const RowPresentation& row, const QRect& rect) {
    Geometry geometry;
    geometry.icon = QRect(QPoint(rect.left(), rect.top() + rowPadding), SourceIcon::size());
    const int left = geometry.icon.right() + 1 + iconSpacing;
    const int width = std::max(rect.right() + 1 - left, 1);
    int y = rect.top() + rowPadding;

    // First line: the name and, at the trailing edge, the age badge or date, sharing a baseline.
    const QFontMetrics person(personFont());
    QSize dateSize;
    int dateAscent = 0;
    if (row.age) {
        dateSize = AgeBadge::size(*row.age);
        dateAscent = ageStyle().verticalPadding + QFontMetrics(ageStyle().font).ascent();
    } else {
        const QFontMetrics date(dateFont());
        dateSize = QSize(idealWidth(qtText(row.date), dateFont()), date.height());
        dateAscent = date.ascent();
    }
    dateSize.setWidth(std::min(dateSize.width(), width));
    const int ascent = std::max(person.ascent(), dateAscent);
    const int descent = std::max(person.height() - person.ascent(), dateSize.height() - dateAscent);
    geometry.person = QRect(left, y + ascent - person.ascent(), std::max(width - dateSize.width() - personSpacing, 0),
                            person.height());
    geometry.date = QRect(QPoint(left + width - dateSize.width(), y + ascent - dateAscent), dateSize);
    y += ascent + descent;

    // Second line: the summary, at most two lines.
    geometry.summaryLines = summaryLineCount(qtText(row.summary), summaryFont(), width);
    if (geometry.summaryLines > 0) {
        y += lineSpacing;
        geometry.summary = QRect(left, y, width, linesHeight(summaryFont(), geometry.summaryLines));
        y += geometry.summary.height();
    }

    // Third line: the status badge, then the verdict, centred on one another.
    y += lineSpacing;
    const QFontMetrics verdict(verdictFont());
    const QSize statusSize = row.status ? StatusBadge::size(*row.status) : QSize();
    const int lineHeight = std::max(statusSize.height(), verdict.height());
    int x = left;
    if (row.status) {
        geometry.status = QRect(QPoint(x, y + (lineHeight - statusSize.height()) / 2), statusSize);
        x += statusSize.width() + statusSpacing;
    }
    geometry.verdict =
        QRect(x, y + (lineHeight - verdict.height()) / 2, std::max(left + width - x, 0), verdict.height());
    y += lineHeight;

    geometry.height = std::max(y, geometry.icon.bottom() + 1) + rowPadding - rect.top();
    return geometry;
}

int height(const RowPresentation& row, int width) {
    return layout(row, QRect(0, 0, width, 0)).height;
}

int summaryLines(const RowPresentation& row, int width) {
    return summaryLineCount(qtText(row.summary), summaryFont(), std::max(width - iconSide - iconSpacing, 1));
}

void paint(QPainter& painter, const QRect& rect, const RowPresentation& row) {
    const Geometry geometry = layout(row, rect);
    painter.save();
    SourceIcon::paint(painter, geometry.icon.topLeft(), row);

    painter.setPen(Look::color(Tone::primary));
    drawLines(painter, geometry.person, personFont(),
              elideText(qtText(row.person), personFont(), geometry.person.width(), 1).lines);
    if (row.age) {
        AgeBadge::paint(painter, geometry.date.topLeft(), *row.age);
    } else {
        painter.setPen(Look::color(Tone::tertiary));
        drawLines(painter, geometry.date, dateFont(),
                  elideText(qtText(row.date), dateFont(), geometry.date.width(), 1).lines);
    }
    if (!geometry.summary.isEmpty()) {
        painter.setPen(Look::color(Tone::primary));
        drawLines(painter, geometry.summary, summaryFont(),
                  elideText(qtText(row.summary), summaryFont(), geometry.summary.width(), geometry.summaryLines).lines);
    }
    if (row.status) {
        StatusBadge::paint(painter, geometry.status.topLeft(), *row.status);
    }
    painter.setPen(Look::color(Tone::secondary));
    drawLines(painter, geometry.verdict, verdictFont(),
              elideText(qtText(row.verdict), verdictFont(), geometry.verdict.width(), 1).lines);
    painter.restore();
}

}  // namespace QueueConversationRow

}  // namespace nudgerly
