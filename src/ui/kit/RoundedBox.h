#pragma once

#include <optional>

#include <QColor>
#include <QWidget>

#include "ui/kit/Tone.h"

namespace nudgerly {

// A container drawn as a filled rounded rectangle, optionally outlined: notice boxes, bubbles, cards
// and badges. Its padding is its contents margins; give it a layout for its content.
class RoundedBox : public QWidget {
    Q_OBJECT

public:
    explicit RoundedBox(QWidget* parent = nullptr);

    // A named colour at an opacity; sets the `tone` property.
    void setFill(Tone tone, double opacity);
    void setFill(const QColor& color);
    void setOutline(const QColor& color, qreal width = 1.0);
    // A negative radius draws a capsule (half the height).
    void setCornerRadius(qreal radius);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    std::optional<QColor> outline_;
    qreal outlineWidth_ = 1.0;
    qreal radius_ = 8.0;
};

}  // namespace nudgerly
