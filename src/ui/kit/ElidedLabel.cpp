#include "ui/kit/ElidedLabel.h"

#include <algorithm>

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include "ui/kit/ElidedText.h"
#include "ui/kit/Look.h"
#include "ui/kit/WidgetProperties.h"

namespace nudgerly {

ElidedLabel::ElidedLabel(TextStyle style, Tone tone, int maxLines, QWidget* parent) : QWidget(parent) {
    setTextStyle(style);
    setTone(tone);
    setMaxLines(maxLines);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void ElidedLabel::setMaxLines(int lines) {
    maxLines_ = std::clamp(lines, 1, 3);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(maxLines_ > 1);
    setSizePolicy(policy);
    updateGeometry();
    update();
}

void ElidedLabel::setTextStyle(TextStyle style, std::optional<FontWeight> weight) {
    setFont(fontFor(style, weight));
}

void ElidedLabel::setTone(Tone tone) {
    tone_ = tone;
    setToneProperty(*this, tone);
    update();
}

bool ElidedLabel::isElided() const {
    return elideText(text_, font(), width(), maxLines_).elided;
}

QStringList ElidedLabel::displayedLines() const {
    return elideText(text_, font(), width(), maxLines_).lines;
}

QSize ElidedLabel::sizeHint() const {
    const int ideal = idealWidth(text_, font());
    return {ideal, heightForWidth(std::max(ideal, 1))};
}

QSize ElidedLabel::minimumSizeHint() const {
    const int ellipsis = QFontMetrics(font()).horizontalAdvance(QChar(0x2026));
    return {std::min(idealWidth(text_, font()), ellipsis * 2), linesHeight(font(), 1)};
}

int ElidedLabel::heightForWidth(int width) const {
    const auto lines = static_cast<int>(elideText(text_, font(), width, maxLines_).lines.size());
    return linesHeight(font(), std::max(lines, 1));
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(isEnabled() ? Look::color(tone_) : Look::disabledText());
    drawLines(painter, contentsRect(), font(), displayedLines());
}

void ElidedLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

}  // namespace nudgerly
