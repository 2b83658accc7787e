#pragma once

#include <string_view>

#include <QString>
#include <QWidget>

namespace nudgerly {

// UTF-8 text of the core as a Qt string.
inline QString qtText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Text for a button title: an ampersand stays an ampersand instead of marking a shortcut key.
inline QString buttonText(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// Sets a tooltip that shows `text` literally. Qt shows a tooltip that looks like markup as rich text
// (an <img> there would even read a local file), so the text is escaped into a paragraph of its own.
// The widget's accessible description becomes the plain text.
void setPlainToolTip(QWidget& widget, const QString& text);
// The tooltip text that shows `text` literally, for tooltips shown by hand (QToolTip::showText).
QString plainToolTip(const QString& text);

}  // namespace nudgerly
