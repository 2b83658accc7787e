#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QPainter>
#include <QWidget>

namespace nudgerly {

// An indeterminate activity indicator: spokes that turn while the spinner is shown.
class Spinner : public QWidget {
    Q_OBJECT

public:
    enum class Size { small, regular };

    explicit Spinner(Size size = Size::small, QWidget* parent = nullptr);

    QSize sizeHint() const override;

    // One frame of the spokes, `diameter` wide around `centre`, the leading one at `step` (0 to 11),
    // for places that draw the indicator themselves, such as a button's icon.
    static void paintSpokes(QPainter& painter, QPointF centre, int diameter, int step, const QColor& color);
    // Milliseconds between two frames, and the number of frames of one turn.
    static constexpr int frameMilliseconds = 80;
    static constexpr int frameCount = 12;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int diameter_ = 16;
    int step_ = 0;
    QBasicTimer timer_;
};

}  // namespace nudgerly
