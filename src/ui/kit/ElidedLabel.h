#pragma once

#include <optional>

#include <QWidget>

#include "ui/kit/TextStyle.h"
#include "ui/kit/Tone.h"

namespace nudgerly {

// Plain text limited to 1 to 3 lines, cut with a trailing ellipsis. Its ideal width is the text's
// unbroken width; it shrinks to almost nothing, so a neighbour with a fixed size keeps its room.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(TextStyle style = TextStyle::body, Tone tone = Tone::primary, int maxLines = 1,
                         QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return text_; }
    void setMaxLines(int lines);  // clamped to 1...3
    int maxLines() const { return maxLines_; }
    void setTextStyle(TextStyle style, std::optional<FontWeight> weight = std::nullopt);
    void setTone(Tone tone);
    Tone tone() const { return tone_; }

    // Whether the text is cut at the current width.
    bool isElided() const;
    // The lines as drawn at the current width.
    QStringList displayedLines() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return maxLines_ > 1; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString text_;
    int maxLines_ = 1;
    Tone tone_ = Tone::primary;
};

}  // namespace nudgerly
