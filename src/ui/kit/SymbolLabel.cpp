#include "ui/kit/SymbolLabel.h"

#include <QHBoxLayout>

#include "ui/kit/ElidedLabel.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/WidgetProperties.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {

SymbolLabel::SymbolLabel(std::string_view symbol, TextStyle style, Tone tone, Lines lines, QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    symbol_ = new SymbolView(symbol, tone, Symbols::sizeForText(metricsOf(style).pixelSize), this);
    row->addWidget(symbol_, 0, lines == Lines::one ? Qt::AlignVCenter : Qt::AlignTop);
    if (lines == Lines::one) {
        line_ = new ElidedLabel(style, tone, 1, this);
        row->addWidget(line_, 1);
    } else {
        wrapped_ = new WrapLabel(style, tone, this);
        row->addWidget(wrapped_, 1);
    }
    setSymbol(symbol);
    setTone(tone);
}

void SymbolLabel::setText(const QString& text) {
    if (line_) {
        line_->setText(text);
    } else {
        wrapped_->setText(text);
    }
    setAccessibleName(text);
}

QString SymbolLabel::text() const {
    return line_ ? line_->text() : wrapped_->text();
}

void SymbolLabel::setSymbol(std::string_view symbol) {
    symbol_->setSymbol(symbol);
    setSymbolProperty(*this, symbol);
}

void SymbolLabel::setTone(Tone tone) {
    symbol_->setTone(tone);
    if (line_) {
        line_->setTone(tone);
    } else {
        wrapped_->setTone(tone);
    }
    setToneProperty(*this, tone);
}

void SymbolLabel::setTextStyle(TextStyle style, std::optional<FontWeight> weight) {
    symbol_->setGlyphSize(Symbols::sizeForText(metricsOf(style).pixelSize));
    if (line_) {
        line_->setTextStyle(style, weight);
    } else {
        wrapped_->setTextStyle(style, weight);
    }
}

}  // namespace nudgerly
