#pragma once

#include <QWidget>

namespace nudgerly {

// A one-pixel line in the separator colour across the full width (or height, when vertical).
class Divider : public QWidget {
    Q_OBJECT

public:
    explicit Divider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace nudgerly
