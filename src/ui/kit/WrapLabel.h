#pragma once

#include <optional>

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

private:
    Tone tone_ = Tone::primary;
};

}  // namespace nudgerly
