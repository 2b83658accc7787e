#include "ui/kit/SymbolView.h"

#include <QPainter>

#include "ui/kit/Look.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/TextStyle.h"
#include "ui/kit/WidgetProperties.h"

namespace nudgerly {

SymbolView::SymbolView(std::string_view symbol, Tone tone, int glyphSize, QWidget* parent) : QWidget(parent) {
    setSymbol(symbol);
    setTone(tone);
    setGlyphSize(glyphSize);
}

SymbolView* SymbolView::cardIcon(std::string_view symbol, Tone tone, QWidget* parent) {
    auto* icon = new SymbolView(symbol, tone, Symbols::sizeForText(metricsOf(TextStyle::title2).pixelSize), parent);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setFrameSize(QSize(34, 34));
    return icon;
}

void SymbolView::setSymbol(std::string_view symbol) {
    symbol_ = std::string(symbol);
    setSymbolProperty(*this, symbol);
    update();
}

void SymbolView::setTone(Tone tone) {
    tone_ = tone;
    setToneProperty(*this, tone);
    update();
}

void SymbolView::setGlyphSize(int pixels) {
    glyphSize_ = pixels;
    setFixedSize(sizeHint());
    update();
}

void SymbolView::setFrameSize(QSize size) {
    frame_ = size;
    setFixedSize(sizeHint());
}

QSize SymbolView::sizeHint() const {
    return frame_.isValid() ? frame_ : QSize(glyphSize_, glyphSize_);
}

void SymbolView::paintEvent(QPaintEvent*) {
    if (symbol_.empty()) {
        return;
    }
    const QColor colour = isEnabled() ? Look::color(tone_) : Look::disabledText();
    const QPixmap glyph = Symbols::tinted(symbol_, colour, glyphSize_, devicePixelRatioF());
    QPainter painter(this);
    const QRect target(QPoint(0, 0), QSize(glyphSize_, glyphSize_));
    painter.drawPixmap(target.translated(rect().center() - target.center()), glyph);
}

}  // namespace nudgerly
