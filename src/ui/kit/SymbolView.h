#pragma once

#include <string>
#include <string_view>

#include <QWidget>

#include "ui/kit/Tone.h"

namespace nudgerly {

// One named symbol in one colour, `glyphSize` pixels square, centred in a fixed frame (the glyph's own
// size unless a frame is set). Carries the `symbol` and `tone` properties.
class SymbolView : public QWidget {
    Q_OBJECT

public:
    explicit SymbolView(std::string_view symbol = {}, Tone tone = Tone::primary, int glyphSize = 16,
                        QWidget* parent = nullptr);

    // The symbol that opens a card or row of a full page: title-2 size, centred in a 34 × 34 frame,
    // named "icon".
    static SymbolView* cardIcon(std::string_view symbol, Tone tone, QWidget* parent);

    void setSymbol(std::string_view symbol);
    const std::string& symbol() const { return symbol_; }
    void setTone(Tone tone);
    Tone tone() const { return tone_; }
    void setGlyphSize(int pixels);
    // The fixed frame the glyph is centred in.
    void setFrameSize(QSize size);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string symbol_;
    Tone tone_ = Tone::primary;
    int glyphSize_ = 16;
    QSize frame_;
};

}  // namespace nudgerly
