#include "ui/kit/TextStyle.h"

#include <QApplication>

namespace nudgerly {
namespace {

QFont::Weight qtWeight(FontWeight weight) {
    switch (weight) {
        case FontWeight::regular: return QFont::Normal;
        case FontWeight::medium: return QFont::Medium;
        case FontWeight::semibold: return QFont::DemiBold;
        case FontWeight::bold: return QFont::Bold;
    }
    return QFont::Normal;
}

}  // namespace

TextStyleMetrics metricsOf(TextStyle style) {
    // The desktop sizes of the original platform's styles, read as pixels.
    switch (style) {
        case TextStyle::title: return {22, FontWeight::regular};
        case TextStyle::title2: return {17, FontWeight::regular};
        case TextStyle::title3: return {15, FontWeight::regular};
        case TextStyle::headline: return {13, FontWeight::semibold};
        case TextStyle::subheadline: return {11, FontWeight::regular};
        case TextStyle::body: return {13, FontWeight::regular};
        case TextStyle::footnote: return {10, FontWeight::regular};
        case TextStyle::caption: return {10, FontWeight::regular};
        case TextStyle::caption2: return {10, FontWeight::regular};
    }
    return {};
}

QFont fontOfSize(int pixelSize, FontWeight weight) {
    QFont font = QApplication::font();  // the family the look chose
    font.setPixelSize(pixelSize);
    font.setWeight(qtWeight(weight));
    return font;
}

QFont fontFor(TextStyle style, std::optional<FontWeight> weight) {
    const TextStyleMetrics metrics = metricsOf(style);
    return fontOfSize(metrics.pixelSize, weight.value_or(metrics.weight));
}

}  // namespace nudgerly
