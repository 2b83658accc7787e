#include "ui/kit/LookStyle.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QWidget>

#include "ui/kit/Look.h"
#include "ui/kit/WidgetProperties.h"

namespace nudgerly {
namespace {

constexpr double cornerRadius = 3;

}  // namespace

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
        emphasised.palette.setColor(QPalette::Button, Look::prominentFill(enabled));
        emphasised.palette.setColor(QPalette::ButtonText, Qt::white);
    } else if (widget->property(destructiveProperty).toBool() && enabled) {
        emphasised.palette.setColor(QPalette::ButtonText, Look::color(Tone::red));
    }
    QProxyStyle::drawControl(element, &emphasised, painter, widget);
}

void LookStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const {
    if (element != PE_PanelButtonCommand || !widget || !widget->property(prominentProperty).toBool()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Fusion lightens and greys whatever button colour it is given, which left white text on a pale
    // blue; the fill is painted as chosen, so that the text keeps its contrast.
    const bool pressed = (option->state & (State_Sunken | State_On)) != 0;
    const QColor fill = option->palette.color(QPalette::Button);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(pressed ? fill.darker(120) : fill);
    painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter->restore();
    // Fusion's focus outline is drawn with the panel it replaces; over the fill it must be white.
    if ((option->state & State_HasFocus) != 0) {
        Look::paintFocusRing(*painter, QRectF(option->rect).adjusted(2, 2, -2, -2), cornerRadius, true);
    }
}

}  // namespace nudgerly
