#include "ScreenMeasure.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace nudgerly::test {

double luminance(QRgb rgb) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b) {
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

Measured measure(const QImage& picture, int inset) {
    std::unordered_map<QRgb, int> counts;
    const QRect inside = picture.rect().adjusted(inset, inset, -inset, -inset);
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            ++counts[picture.pixel(x, y) | 0xFF000000u];
        }
    }
    Measured measured;
    measured.fill = std::ranges::max_element(counts, {}, [](const auto& entry) { return entry.second; })->first;
    for (const auto& [rgb, count] : counts) {
        if (const double ratio = contrast(measured.fill, rgb); ratio > measured.ratio) {
            measured = {measured.fill, rgb, ratio};
        }
    }
    return measured;
}

}  // namespace nudgerly::test
