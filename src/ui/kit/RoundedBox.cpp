#include "ui/kit/RoundedBox.h"

#include <algorithm>

#include <QPainter>
#include <QPainterPath>

#include "ui/kit/Look.h"
#include "ui/kit/WidgetProperties.h"

namespace nudgerly {

RoundedBox::RoundedBox(QWidget* parent) : QWidget(parent) {}

void RoundedBox::setFill(Tone tone, double opacity) {
    setToneProperty(*this, tone);
    setFill(Look::withOpacity(Look::color(tone), opacity));
}

void RoundedBox::setFill(const QColor& color) {
    if (fill_ == color) {
        return;
    }
    fill_ = color;
    update();
}

void RoundedBox::setOutline(const QColor& color, qreal width) {
    outline_ = color;
    outlineWidth_ = width;
    update();
}

void RoundedBox::setCornerRadius(qreal radius) {
    radius_ = radius;
    update();
}

void RoundedBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = outline_ ? outlineWidth_ / 2 : 0;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    const qreal radius = radius_ < 0 ? box.height() / 2 : std::min(radius_, box.height() / 2);
    QPainterPath path;
    path.addRoundedRect(box, radius, radius);
    painter.fillPath(path, fill_);
    if (outline_) {
        painter.setPen(QPen(*outline_, outlineWidth_));
        painter.drawPath(path);
    }
}

}  // namespace nudgerly
