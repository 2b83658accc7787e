#include "ui/kit/ElidedText.h"

#include <algorithm>
#include <cmath>

#include <QFontMetrics>
#include <QTextLayout>

namespace nudgerly {
namespace {

// Measured with fractional advances, as the ideal width is, so that text given its ideal width is
// never cut by rounding.
bool fits(const QString& line, const QFont& font, int width) {
    return QFontMetricsF(font).horizontalAdvance(line) <= width;
}

}  // namespace

ElidedText elideText(const QString& text, const QFont& font, int width, int maxLines) {
    ElidedText result;
    if (text.isEmpty() || maxLines < 1) {
        return result;
    }
    width = std::max(width, 1);
    const QFontMetrics metrics(font);
    if (maxLines == 1) {
        // One line: line breaks in the text read as blanks.
        QString flat = text;
        flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
        const QString cut = fits(flat, font, width) ? flat : metrics.elidedText(flat, Qt::ElideRight, width);
        result.lines << cut;
        result.elided = cut != flat;
        return result;
    }
    // Line breaks in the text are kept; QTextLayout breaks at the line separator.
    QString prepared = text;
    prepared.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(prepared, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width);
        if (result.lines.size() + 1 == maxLines) {
            const QString lastLine = prepared.mid(line.textStart()).section(QChar::LineSeparator, 0, 0);
            const bool more = line.textStart() + lastLine.size() < prepared.size();
            QString cut = fits(lastLine, font, width) ? lastLine : metrics.elidedText(lastLine, Qt::ElideRight, width);
            if (cut == lastLine && more) {
                // This line fits, but later lines are left out: say so with the ellipsis.
                QString kept = lastLine;
                while (!kept.isEmpty() && metrics.horizontalAdvance(kept + QChar(0x2026)) > width) {
                    kept.chop(kept.size() > 1 && kept.back().isLowSurrogate() ? 2 : 1);
                }
                cut = kept + QChar(0x2026);
            }
            result.lines << cut;
            result.elided = cut != lastLine;
            break;
        }
        QString piece = prepared.mid(line.textStart(), line.textLength());
        while (piece.endsWith(QChar::LineSeparator)) {
            piece.chop(1);
        }
        result.lines << piece;
    }
    layout.endLayout();
    return result;
}

int idealWidth(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return static_cast<int>(std::ceil(widest));
}

int linesHeight(const QFont& font, int lineCount) {
    if (lineCount <= 0) {
        return 0;
    }
    const QFontMetrics metrics(font);
    return metrics.height() + (lineCount - 1) * metrics.lineSpacing();
}

void drawLines(QPainter& painter, const QRect& rect, const QFont& font, const QStringList& lines) {
    const QFontMetrics metrics(font);
    painter.setFont(font);
    int y = rect.top() + metrics.ascent();
    for (const QString& line : lines) {
        painter.drawText(QPoint(rect.left(), y), line);
        y += metrics.lineSpacing();
    }
}

}  // namespace nudgerly
