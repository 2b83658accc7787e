#pragma once

#include <span>
#include <string_view>

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace nudgerly::Symbols {

// One named symbol of the screens and where its picture comes from: an icon of the Adwaita theme,
// looked up by name at run time, or (a path starting with ":/") one of our own in the resources.
struct SymbolSource {
    std::string_view name;
    std::string_view picture;
};

// Every symbol the screens use, each once.
std::span<const SymbolSource> table();

// Points the icon lookup at the Adwaita theme in the system's data folders (XDG_DATA_DIRS) and makes
// our own pictures available. Offscreen Qt sets neither, so this runs before any symbol is drawn.
void install();

// The symbol's icon; a null icon for a name outside the table or a picture that cannot be found.
QIcon icon(std::string_view name);

// The symbol drawn in one colour, `logicalSize` pixels square at the device pixel ratio `dpr`. Cached.
QPixmap tinted(std::string_view name, const QColor& color, int logicalSize, qreal dpr = 1.0);

// The square size of a symbol set beside text of `pixelSize`.
int sizeForText(int pixelSize);

}  // namespace nudgerly::Symbols
