#pragma once

#include <optional>

#include <QFont>

namespace nudgerly {

// The text styles the screens are described in. A point is a logical pixel.
enum class TextStyle { title, title2, title3, headline, subheadline, body, footnote, caption, caption2 };

enum class FontWeight { regular, medium, semibold, bold };

struct TextStyleMetrics {
    int pixelSize = 13;
    FontWeight weight = FontWeight::regular;

    friend bool operator==(const TextStyleMetrics&, const TextStyleMetrics&) = default;
};

// The size and default weight of a style.
TextStyleMetrics metricsOf(TextStyle style);

// The window's font in a style, at its own weight unless one is given.
QFont fontFor(TextStyle style, std::optional<FontWeight> weight = std::nullopt);

// The window's font at a fixed size ("the system font at size 9"), for badges.
QFont fontOfSize(int pixelSize, FontWeight weight = FontWeight::regular);

}  // namespace nudgerly
