#pragma once

#include <optional>
#include <string_view>

#include <QWidget>

#include "ui/kit/TextStyle.h"
#include "ui/kit/Tone.h"

namespace nudgerly {

class ElidedLabel;
class SymbolView;
class WrapLabel;

// A symbol followed by text, both in one colour and one text style: a label with an icon. The text
// stays on one line, cut with an ellipsis, or wraps when asked to. Carries `symbol` and `tone`.
class SymbolLabel : public QWidget {
    Q_OBJECT

public:
    enum class Lines { one, wrap };

    SymbolLabel(std::string_view symbol, TextStyle style, Tone tone, Lines lines = Lines::one,
                QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;
    void setSymbol(std::string_view symbol);
    void setTone(Tone tone);
    void setTextStyle(TextStyle style, std::optional<FontWeight> weight = std::nullopt);

private:
    SymbolView* symbol_ = nullptr;
    ElidedLabel* line_ = nullptr;  // one of these two shows the text
    WrapLabel* wrapped_ = nullptr;
};

}  // namespace nudgerly
