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
const QColor disabledText(0xA6, 0xA6, 0xA6);

}  // namespace

QColor color(Tone tone) {
    // The original platform's light system colours; the label greys as seen on a white ground.
    switch (tone) {
        case Tone::primary: return primaryText;
        case Tone::secondary: return {0x80, 0x80, 0x80};
        case Tone::tertiary: return {0xA6, 0xA6, 0xA6};
        case Tone::quaternary: return {0xD6, 0xD6, 0xD6};
        case Tone::red: return {0xFF, 0x3B, 0x30};
        case Tone::orange: return {0xFF, 0x95, 0x00};
        case Tone::green: return {0x28, 0xCD, 0x41};
        case Tone::blue: return {0x00, 0x7A, 0xFF};
        case Tone::accent: return {0x00, 0x7A, 0xFF};
    }
    return primaryText;
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0) * color.alphaF()));
    return color;
}

QColor separator() { return {0xD5, 0xD5, 0xD5}; }
QColor controlBackground() { return Qt::white; }
QColor windowBackground() { return {0xEC, 0xEC, 0xEC}; }
QColor barMaterial() { return {0xF3, 0xF3, 0xF3}; }

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
        palette.setColor(QPalette::Disabled, role, disabledText);
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

QColor prominentFill(bool enabled) { return enabled ? QColor(0x00, 0x62, 0xCC) : QColor(0x5F, 0x8A, 0xC9); }

void setProminent(QAbstractButton& button, bool prominent) {
    button.setProperty(prominentProperty, prominent);
    button.update();
}

void setDestructive(QAbstractButton& button, bool destructive) {
    button.setProperty(destructiveProperty, destructive);
    button.update();
}

}  // namespace nudgerly::Look
