#pragma once

#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QStringList>

namespace nudgerly {

// Text broken into at most `maxLines` lines of `width` pixels, the last one cut with a trailing
// ellipsis when the text does not fit.
struct ElidedText {
    QStringList lines;
    bool elided = false;
};

ElidedText elideText(const QString& text, const QFont& font, int width, int maxLines);

// The width of `text` on one line, unbroken: its ideal width.
int idealWidth(const QString& text, const QFont& font);

// The height of `lineCount` lines of `font`.
int linesHeight(const QFont& font, int lineCount);

// Draws the lines from the top left of `rect` in the painter's pen, as plain text.
void drawLines(QPainter& painter, const QRect& rect, const QFont& font, const QStringList& lines);

}  // namespace nudgerly
