#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <QImage>

namespace nudgerly {

// Bounds on a link preview's picture. The file is named by the Messages data, so it may be anything:
// huge, not an image, or a pipe or device that blocks when read.
struct PreviewImageLimits {
    std::size_t maxFileBytes = 16 * 1024 * 1024;
    // Pixels the image may declare; more is refused before anything is decoded (128 MB at 4 bytes each).
    int64_t maxPixels = 32 * 1024 * 1024;
    // Decoded no larger than this on its longer side: ample for a card in the detail pane.
    int maxSide = 1600;
};

// The picture in the file at `path`, or a null image when the path is not absolute, names no regular
// file, the file is too large, or it holds no PNG, JPEG, GIF, WebP or BMP image within the limits.
// A FIFO or device is never opened.
QImage loadPreviewImage(const std::string& path, const PreviewImageLimits& limits = {});

// The last picture loaded, kept while the file's path, modification time and size stay the same, so
// a card that follows every change of the state reads its file once.
class PreviewImageCache {
public:
    explicit PreviewImageCache(PreviewImageLimits limits = {}) : limits_(limits) {}

    // The picture at `path` (a null image for none), loaded again only when the file changed.
    const QImage& image(const std::optional<std::string>& path);

private:
    struct Key {
        std::string path;
        std::filesystem::file_time_type modified;
        std::uintmax_t size = 0;

        friend bool operator==(const Key&, const Key&) = default;
    };

    static std::optional<Key> keyOf(const std::string& path);

    PreviewImageLimits limits_;
    std::optional<Key> key_;
    QImage image_;
};

}  // namespace nudgerly
