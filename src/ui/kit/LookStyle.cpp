#include "ui/kit/LookStyle.h"

#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QWidget>

#include "ui/kit/Look.h"
#include "ui/kit/WidgetProperties.h"

namespace nudgerly {

LookStyle::LookStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void LookStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                            const QWidget* widget) const {
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (element != CE_PushButton || !button || !widget) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    QStyleOptionButton emphasised = *button;
    const bool enabled = (button->state & State_Enabled) != 0;
    if (widget->property(prominentProperty).toBool()) {
        // A disabled main button keeps its place but fades: the accent mixed with white.
        const QColor accent = Look::color(Tone::accent);
        const QColor fill = enabled ? accent : QColor::fromRgbF(0.6f + 0.4f * accent.redF(), 0.6f + 0.4f * accent.greenF(), 0.6f + 0.4f * accent.blueF());
        emphasised.palette.setColor(QPalette::Button, fill);
        emphasised.palette.setColor(QPalette::ButtonText, Qt::white);
    } else if (widget->property(destructiveProperty).toBool() && enabled) {
        emphasised.palette.setColor(QPalette::ButtonText, Look::color(Tone::red));
    }
    QProxyStyle::drawControl(element, &emphasised, painter, widget);
}

}  // namespace nudgerly
