#pragma once

#include <QBasicTimer>
#include <QWidget>

namespace nudgerly {

// An indeterminate activity indicator: spokes that turn while the spinner is shown.
class Spinner : public QWidget {
    Q_OBJECT

public:
    enum class Size { small, regular };

    explicit Spinner(Size size = Size::small, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    bool isAnimating() const { return timer_.isActive(); }

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
