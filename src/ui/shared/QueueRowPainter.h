#pragma once

#include <QPainter>
#include <QRect>
#include <QSize>

#include "ui/shared/RowPresentation.h"

// The pieces of a queue row drawn with a painter, for the queue list's item delegate. Sizes are in
// logical pixels; `paint` functions draw at the given place and leave the painter as they found it.
namespace nudgerly {

namespace SourceIcon {
// 26 × 26.
QSize size();
// The source symbol in its colour on the same colour at 0.11 in a rounded square.
void paint(QPainter& painter, QPoint topLeft, const RowPresentation& row);
}  // namespace SourceIcon

namespace StatusBadge {
QSize size(const BadgePresentation& badge);
void paint(QPainter& painter, QPoint topLeft, const BadgePresentation& badge);
}  // namespace StatusBadge

namespace AgeBadge {
QSize size(const BadgePresentation& badge);
void paint(QPainter& painter, QPoint topLeft, const BadgePresentation& badge);
}  // namespace AgeBadge

namespace QueueConversationRow {

// Where each part of a row goes within the row's rectangle.
struct Geometry {
    QRect icon;
    QRect person;
    QRect date;  // the age badge, or the plain date text; the date tooltip belongs here
    QRect summary;
    int summaryLines = 0;  // 0 to 2
    QRect status;          // empty without a status badge
    QRect verdict;
    int height = 0;  // of the whole row
};

Geometry layout(const RowPresentation& row, const QRect& rect);
// The row's height at `width`.
int height(const RowPresentation& row, int width);
// The lines the summary takes in a row `width` wide, 0 to 2. A row's height follows from this and
// from whether it has an age badge and a status badge, whatever its other texts.
int summaryLines(const RowPresentation& row, int width);
// Draws the row in `rect` (the delegate draws any selection behind it first).
void paint(QPainter& painter, const QRect& rect, const RowPresentation& row);

}  // namespace QueueConversationRow

}  // namespace nudgerly
