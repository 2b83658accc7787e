#include "ui/detail/PreviewImage.h"

#include <algorithm>
#include <array>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include "core/FileSystemError.h"
#include "core/Files.h"

namespace nudgerly {
namespace {

// Raster formats only: a vector format could pull in further files named inside it.
constexpr std::array rasterFormats{"png", "jpeg", "gif", "webp", "bmp"};

bool isRasterFormat(const QByteArray& format) {
    return std::ranges::any_of(rasterFormats, [&](const char* known) { return format == known; });
}

// A path that names one local file the same way wherever the program runs.
bool isUsablePath(const std::string& path) {
    // A NUL would cut the path short and name another file.
    return !path.empty() && path.find('\0') == std::string::npos && std::filesystem::path(path).is_absolute();
}

}  // namespace

QImage loadPreviewImage(const std::string& path, const PreviewImageLimits& limits) {
    std::error_code error;
    // Looking before opening keeps FIFOs and devices unopened; the reader checks again what it opened.
    if (!isUsablePath(path) || !std::filesystem::is_regular_file(path, error)) {
        return {};
    }
    std::string bytes;
    try {
        bytes = readFile(path, limits.maxFileBytes);
    } catch (const FileSystemError&) {
        return {};
    }
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (!isRasterFormat(reader.format())) {
        return {};
    }
    const QSize size = reader.size();
    if (size.isEmpty() || int64_t{size.width()} * size.height() > limits.maxPixels) {
        return {};
    }
    if (std::max(size.width(), size.height()) > limits.maxSide) {
        reader.setScaledSize(size.scaled(limits.maxSide, limits.maxSide, Qt::KeepAspectRatio));
    }
    reader.setAutoTransform(true);
    return reader.read();  // null when the data do not decode
}

const QImage& PreviewImageCache::image(const std::optional<std::string>& path) {
    std::optional<Key> key = path ? keyOf(*path) : std::nullopt;
    if (!key) {
        key_.reset();
        image_ = {};
    } else if (key != key_) {
        image_ = loadPreviewImage(key->path, limits_);
        key_ = std::move(key);
    }
    return image_;
}

std::optional<PreviewImageCache::Key> PreviewImageCache::keyOf(const std::string& path) {
    if (!isUsablePath(path)) {
        return std::nullopt;
    }
    std::error_code error;
    Key key{.path = path};
    key.modified = std::filesystem::last_write_time(path, error);
    if (!error) {
        key.size = std::filesystem::file_size(path, error);  // fails for anything but a regular file
    }
    return error ? std::nullopt : std::optional<Key>(std::move(key));
}

}  // namespace nudgerly
