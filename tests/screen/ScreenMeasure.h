#pragma once

#include <QImage>
#include <QRgb>

namespace nudgerly::test {

// Relative luminance of a screen colour, as the contrast guidelines for text define it.
double luminance(QRgb rgb);
double contrast(QRgb a, QRgb b);

// What text measures against the ground it is drawn on: the ground is the commonest colour inside the
// picture's edge (`inset` pixels in), the text the pixel that stands out most from it (the core of a
// glyph's stroke).
struct Measured {
    QRgb fill = 0;
    QRgb text = 0;
    double ratio = 1;
};

Measured measure(const QImage& picture, int inset = 4);

}  // namespace nudgerly::test
