#pragma once

#include <array>
#include <optional>
#include <utility>

#include <QLabel>

#include "ui/kit/TextStyle.h"
#include "ui/kit/Tone.h"

namespace nudgerly {

// Plain text that wraps onto as many lines as it needs. Its height follows its width, so layouts and
// scroll areas give it all its lines and never cut it off; its ideal width is the unbroken text.
class WrapLabel : public QLabel {
    Q_OBJECT

public:
    explicit WrapLabel(TextStyle style = TextStyle::body, Tone tone = Tone::primary, QWidget* parent = nullptr);

    void setTextStyle(TextStyle style, std::optional<FontWeight> weight = std::nullopt);
    void setTone(Tone tone);
    Tone tone() const { return tone_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

private:
    // Layouts ask for the sizes of a text many times over, and each answer lays the text out: the
    // answers are kept until the text, the font or the margins change.
    struct Measured {
        QString text;
        QFont font;
        QMargins margins;
        int idealWidth = -1;
        std::array<std::pair<int, int>, 4> heights{};  // width and height, most recent first; width 0: none
    };
    Measured& measured() const;

    Tone tone_ = Tone::primary;
    mutable Measured measured_;
};

}  // namespace nudgerly
