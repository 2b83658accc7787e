#include "ui/kit/Symbols.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QDir>
#include <QPainter>
#include <QPixmapCache>
#include <QStringList>

// The resource's initialiser lives in the static library; naming it keeps it linked.
static void initialiseSymbolResources() {
    Q_INIT_RESOURCE(Symbols);
}

namespace nudgerly::Symbols {
namespace {

// Adwaita's symbolic icons where one fits; ours for the rest.
constexpr std::array symbols{
    SymbolSource{"arrow.clockwise", "view-refresh-symbolic"},
    SymbolSource{"arrow.down.circle.fill", ":/symbols/arrow.down.circle.fill.svg"},
    SymbolSource{"arrow.triangle.2.circlepath", "emblem-synchronizing-symbolic"},
    SymbolSource{"arrow.up.forward.app", "send-to-symbolic"},
    SymbolSource{"arrow.uturn.backward", "edit-undo-symbolic"},
    SymbolSource{"at", "goa-panel-symbolic"},
    SymbolSource{"brain.head.profile", ":/symbols/brain.head.profile.svg"},
    SymbolSource{"bubble.left.and.text.bubble.right", ":/symbols/bubble.left.and.text.bubble.right.svg"},
    SymbolSource{"checkmark", "object-select-symbolic"},
    SymbolSource{"checkmark.circle", ":/symbols/checkmark.circle.svg"},
    SymbolSource{"checkmark.circle.fill", "emblem-default-symbolic"},
    SymbolSource{"checkmark.shield", ":/symbols/checkmark.shield.svg"},
    SymbolSource{"clock", "document-open-recent-symbolic"},
    SymbolSource{"cpu", "drive-harddisk-solidstate-symbolic"},
    SymbolSource{"doc.on.doc", "edit-copy-symbolic"},
    SymbolSource{"envelope", "mail-unread-symbolic"},
    SymbolSource{"envelope.badge", ":/symbols/envelope.badge.svg"},
    SymbolSource{"envelope.badge.shield.half.filled", ":/symbols/envelope.badge.shield.half.filled.svg"},
    SymbolSource{"envelope.fill", "mail-unread-symbolic"},
    SymbolSource{"exclamationmark.circle", ":/symbols/exclamationmark.circle.svg"},
    SymbolSource{"exclamationmark.shield.fill", ":/symbols/exclamationmark.shield.fill.svg"},
    SymbolSource{"exclamationmark.triangle", "dialog-warning-symbolic"},
    SymbolSource{"exclamationmark.triangle.fill", "dialog-warning-symbolic"},
    SymbolSource{"hand.raised.fill", "preferences-system-privacy-symbolic"},
    SymbolSource{"inbox", ":/symbols/tray.svg"},
    SymbolSource{"info.circle", "help-about-symbolic"},
    SymbolSource{"line.3.horizontal.decrease.circle", ":/symbols/line.3.horizontal.decrease.circle.svg"},
    SymbolSource{"lock.fill", "changes-prevent-symbolic"},
    SymbolSource{"lock.shield", ":/symbols/lock.shield.svg"},
    SymbolSource{"message", "user-available-symbolic"},
    SymbolSource{"message.badge", ":/symbols/message.badge.svg"},
    SymbolSource{"message.fill", "user-available-symbolic"},
    SymbolSource{"pause.circle.fill", "media-playback-pause-symbolic"},
    SymbolSource{"person.crop.circle", "avatar-default-symbolic"},
    SymbolSource{"questionmark.circle", "dialog-question-symbolic"},
    SymbolSource{"text.bubble", ":/symbols/text.bubble.svg"},
    SymbolSource{"trash", "user-trash-symbolic"},
    SymbolSource{"tray", ":/symbols/tray.svg"},
};

const SymbolSource* find(std::string_view name) {
    const auto found = std::ranges::find(symbols, name, &SymbolSource::name);
    return found == symbols.end() ? nullptr : &*found;
}

QString qstring(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList themeSearchPaths() {
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty()) {
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    }
    QStringList paths;
    for (const QString& dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        paths << QDir(dir).filePath(QStringLiteral("icons"));
    }
    return paths;
}

}  // namespace

std::span<const SymbolSource> table() {
    return symbols;
}

void install() {
    initialiseSymbolResources();
    QIcon::setThemeSearchPaths(themeSearchPaths());
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QIcon icon(std::string_view name) {
    const SymbolSource* source = find(name);
    if (!source) {
        return {};
    }
    const QString picture = qstring(source->picture);
    if (picture.startsWith(QLatin1String(":/"))) {
        return QIcon(picture);
    }
    return QIcon::fromTheme(picture);
}

QPixmap tinted(std::string_view name, const QColor& color, int logicalSize, qreal dpr) {
    const int pixels = std::max(1, static_cast<int>(std::lround(logicalSize * dpr)));
    const QString key =
        QStringLiteral("nudgerly-symbol:%1:%2:%3").arg(qstring(name), color.name(QColor::HexArgb)).arg(pixels);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) {
        return pixmap;
    }
    const QIcon source = icon(name);
    if (source.isNull()) {
        return {};
    }
    pixmap = source.pixmap(QSize(pixels, pixels), 1.0);
    if (pixmap.size() != QSize(pixels, pixels)) {
        pixmap = pixmap.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    // The pictures are one colour on transparency: keep their shape and paint the colour in.
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    painter.end();
    pixmap.setDevicePixelRatio(dpr);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

int sizeForText(int pixelSize) {
    return static_cast<int>(std::lround(pixelSize * 1.25));
}

}  // namespace nudgerly::Symbols
