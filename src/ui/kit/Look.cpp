#include "ui/kit/Look.h"

#include <algorithm>

#include <QApplication>
#include <QFont>

#include "ui/kit/LookStyle.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/TextStyle.h"
#include "ui/kit/WidgetProperties.h"

namespace nudgerly::Look {
namespace {

const QColor primaryText(0x26, 0x26, 0x26);
const QColor disabledTextColour(0xA6, 0xA6, 0xA6);

}  // namespace

QColor color(Tone tone) {
    // Light system colours, each darkened in lightness alone (its hue and saturation kept) until text in
    // it reads at 4.5:1 or better on every ground it is drawn on: the window, bars, white, a selected
    // row's tint and a badge's own tint of the colour. Quaternary draws lines, never text.
    switch (tone) {
        case Tone::primary: return primaryText;
        case Tone::secondary: return {0x53, 0x53, 0x53};
        case Tone::tertiary: return {0x59, 0x59, 0x59};
        case Tone::quaternary: return {0xD6, 0xD6, 0xD6};
        case Tone::red: return {0xA8, 0x09, 0x00};
        case Tone::orange: return {0x7D, 0x49, 0x00};
        case Tone::green: return {0x13, 0x62, 0x1F};
        case Tone::blue: return {0x00, 0x52, 0xAB};
        case Tone::accent: return {0x00, 0x55, 0xB2};
    }
    return primaryText;
}

QColor disabledText() {
    return disabledTextColour;
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0) * color.alphaF()));
    return color;
}

QColor separator() {
    return {0xD5, 0xD5, 0xD5};
}
QColor controlBackground() {
    return Qt::white;
}
QColor windowBackground() {
    return {0xEC, 0xEC, 0xEC};
}
QColor barMaterial() {
    return {0xF3, 0xF3, 0xF3};
}

QPalette palette() {
    QPalette palette;
    palette.setColor(QPalette::Window, windowBackground());
    palette.setColor(QPalette::WindowText, primaryText);
    palette.setColor(QPalette::Base, controlBackground());
    palette.setColor(QPalette::AlternateBase, QColor(0xF4, 0xF5, 0xF5));
    palette.setColor(QPalette::ToolTipBase, Qt::white);
    palette.setColor(QPalette::ToolTipText, primaryText);
    palette.setColor(QPalette::PlaceholderText, color(Tone::tertiary));
    palette.setColor(QPalette::Text, primaryText);
    palette.setColor(QPalette::Button, QColor(0xFC, 0xFC, 0xFC));
    palette.setColor(QPalette::ButtonText, primaryText);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Midlight, QColor(0xE3, 0xE3, 0xE3));
    palette.setColor(QPalette::Mid, QColor(0xC8, 0xC8, 0xC8));
    palette.setColor(QPalette::Dark, QColor(0xA0, 0xA0, 0xA0));
    palette.setColor(QPalette::Shadow, QColor(0x78, 0x78, 0x78));
    palette.setColor(QPalette::Highlight, color(Tone::accent));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, color(Tone::accent));
    palette.setColor(QPalette::LinkVisited, color(Tone::accent));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, disabledTextColour);
    }
    return palette;
}

void apply() {
    QApplication::setStyle(new LookStyle);  // the application takes ownership
    QApplication::setPalette(palette());
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(metricsOf(TextStyle::body).pixelSize);
    QApplication::setFont(font);
    Symbols::install();
}

QColor prominentFill(bool enabled) {
    return enabled ? QColor(0x00, 0x62, 0xCC) : QColor(0x5F, 0x8A, 0xC9);
}

void setProminent(QAbstractButton& button, bool prominent) {
    button.setProperty(prominentProperty, prominent);
    button.update();
}

void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, bool onAccentFill) {
    constexpr qreal width = 2;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(onAccentFill ? QColor(Qt::white) : color(Tone::accent), width));
    const qreal half = width / 2;
    painter.drawRoundedRect(rect.adjusted(half, half, -half, -half), std::max(radius - half, 0.0),
                            std::max(radius - half, 0.0));
    painter.restore();
}

void setDestructive(QAbstractButton& button, bool destructive) {
    button.setProperty(destructiveProperty, destructive);
    button.update();
}

}  // namespace nudgerly::Look
