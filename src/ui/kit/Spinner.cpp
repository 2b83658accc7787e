#include "ui/kit/Spinner.h"

#include <QPainter>
#include <QTimerEvent>

#include "ui/kit/Look.h"

namespace nudgerly {
namespace {

constexpr int spokes = 12;
constexpr int frameMilliseconds = 80;

}  // namespace

Spinner::Spinner(Size size, QWidget* parent) : QWidget(parent), diameter_(size == Size::small ? 16 : 20) {
    setFixedSize(sizeHint());
    setAccessibleName(QStringLiteral("In progress"));
}

QSize Spinner::sizeHint() const { return {diameter_, diameter_}; }

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect().center() + QPointF(0.5, 0.5));
    const qreal outer = diameter_ / 2.0;
    const qreal inner = outer * 0.5;
    const QColor colour = Look::color(Tone::secondary);
    for (int i = 0; i < spokes; ++i) {
        // The leading spoke is darkest; the ones behind it fade.
        const int age = (step_ - i + spokes) % spokes;
        painter.setPen(QPen(Look::withOpacity(colour, 1.0 - age / static_cast<double>(spokes) * 0.85),
                            diameter_ / 9.0, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(i * 360.0 / spokes);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + 1));
        painter.restore();
    }
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
    step_ = (step_ + 1) % spokes;
    update();
}

}  // namespace nudgerly
