#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPainter>
#include <QPalette>

#include "ui/kit/Tone.h"

// The window's one look: the Fusion style with a fixed light palette, DejaVu Sans, the text styles
// of TextStyle.h, the named colours and the two button emphases.
namespace nudgerly::Look {

// Applies the style, palette, font and symbol theme to the application. Call once, after the
// QApplication exists and before any window is built.
void apply();

// The fixed light palette (also for widgets built before `apply`, such as in tests).
QPalette palette();

// A named colour.
QColor color(Tone tone);
// Text and symbols of a disabled control: lighter than every tone, as a switched-off control reads.
QColor disabledText();
// `color` at `opacity` (0 to 1): the faint tints behind badges, boxes and selected rows.
QColor withOpacity(QColor color, double opacity);

// Surfaces that are not tones.
QColor separator();
QColor controlBackground();
QColor windowBackground();
// The bars' material (activity bar, action bar).
QColor barMaterial();

// The main action of a place: a dark accent fill, white text.
void setProminent(QAbstractButton& button, bool prominent = true);
// The fill of a prominent button. White text on it measures at least 4.5:1 while the button is enabled
// and 3:1 while it is disabled, where it fades to a lighter, greyer blue.
QColor prominentFill(bool enabled);
// A button that deletes or discards: red text.
void setDestructive(QAbstractButton& button, bool destructive = true);

// The mark of keyboard focus, a ring along the inside of `rect`: in the accent colour, or in white over
// an accent fill, where an accent ring would vanish.
void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, bool onAccentFill = false);

}  // namespace nudgerly::Look
