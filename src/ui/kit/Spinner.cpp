#include "ui/kit/Spinner.h"

#include <QPainter>
#include <QTimerEvent>

#include "ui/kit/Look.h"

namespace nudgerly {
Spinner::Spinner(Size size, QWidget* parent) : QWidget(parent), diameter_(size == Size::small ? 16 : 20) {
    setFixedSize(sizeHint());
    setAccessibleName(QStringLiteral("In progress"));
}

QSize Spinner::sizeHint() const {
    return {diameter_, diameter_};
}

void Spinner::paintSpokes(QPainter& painter, QPointF centre, int diameter, int step, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(centre);
    const qreal outer = diameter / 2.0;
    const qreal inner = outer * 0.5;
    for (int i = 0; i < frameCount; ++i) {
        // The leading spoke is darkest; the ones behind it fade.
        const int age = (step - i + frameCount) % frameCount;
        painter.setPen(QPen(Look::withOpacity(color, 1.0 - age / static_cast<double>(frameCount) * 0.85),
                            diameter / 9.0, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(i * 360.0 / frameCount);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + 1));
        painter.restore();
    }
    painter.restore();
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSpokes(painter, rect().center() + QPointF(0.5, 0.5), diameter_, step_, Look::color(Tone::secondary));
}

void Spinner::showEvent(QShowEvent* event) {
    timer_.start(frameMilliseconds, this);
    QWidget::showEvent(event);
}

void Spinner::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

void Spinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    step_ = (step_ + 1) % frameCount;
    update();
}

}  // namespace nudgerly
