#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace nudgerly {

// The pixel dimensions an image file declares.
struct PixelSize {
    int64_t width = 0;
    int64_t height = 0;

    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// Reads an image's pixel size from the first bytes of its file, recognising the format by content
// (preview images in the Messages attachments folder carry no extension). PNG, JPEG, GIF and WebP are
// understood; anything else, and any header cut short or declaring an empty image, gives nothing.
namespace ImageHeader {

// How much of a file pixelSize needs at most: a JPEG's size follows its metadata segments, which are
// small in preview images; one whose size lies further in is skipped.
constexpr std::size_t bytesNeeded = 256 * 1024;

std::optional<PixelSize> pixelSize(std::string_view header);

}  // namespace ImageHeader

}  // namespace nudgerly
