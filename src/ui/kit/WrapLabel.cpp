#include "ui/kit/WrapLabel.h"

#include <algorithm>

#include <QFontMetrics>

#include "ui/kit/ElidedText.h"
#include "ui/kit/Look.h"
#include "ui/kit/WidgetProperties.h"

namespace nudgerly {

namespace {

// Narrower than this, wrapped text becomes a column of single words.
constexpr int minimumCharacters = 10;

}  // namespace

WrapLabel::WrapLabel(TextStyle style, Tone tone, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);  // data may look like markup
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setTextStyle(style);
    setTone(tone);
}

void WrapLabel::setTextStyle(TextStyle style, std::optional<FontWeight> weight) {
    setFont(fontFor(style, weight));
    updateGeometry();
}

void WrapLabel::setTone(Tone tone) {
    tone_ = tone;
    setToneProperty(*this, tone);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Look::color(tone));
    setPalette(colours);
}

WrapLabel::Measured& WrapLabel::measured() const {
    if (measured_.text != text() || measured_.font != font() || measured_.margins != contentsMargins()) {
        measured_ = {text(), font(), contentsMargins()};
    }
    return measured_;
}

int WrapLabel::heightForWidth(int width) const {
    auto& heights = measured().heights;
    const auto found = std::ranges::find(heights, width, &std::pair<int, int>::first);
    if (width > 0 && found != heights.end()) {
        return found->second;
    }
    const int height = QLabel::heightForWidth(width);
    std::shift_right(heights.begin(), heights.end(), 1);
    heights.front() = {width, height};
    return height;
}

QSize WrapLabel::sizeHint() const {
    Measured& sizes = measured();
    if (sizes.idealWidth < 0) {
        sizes.idealWidth = idealWidth(text(), font()) + sizes.margins.left() + sizes.margins.right();
    }
    const int ideal = sizes.idealWidth;
    return {ideal, heightForWidth(ideal)};
}

QSize WrapLabel::minimumSizeHint() const {
    const QMargins margins = contentsMargins();
    const int narrow = QFontMetrics(font()).averageCharWidth() * minimumCharacters + margins.left() + margins.right();
    const int width = std::min(sizeHint().width(), narrow);
    return {width, linesHeight(font(), 1) + margins.top() + margins.bottom()};
}

}  // namespace nudgerly
