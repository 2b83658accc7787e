#pragma once

#include <QProxyStyle>

namespace nudgerly {

// Fusion, with buttons drawn by their emphasis: "prominent" ones filled with a dark accent and white
// text, "destructive" ones with red text.
class LookStyle : public QProxyStyle {
public:
    LookStyle();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

}  // namespace nudgerly
