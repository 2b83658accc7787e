#include "ui/kit/PlainText.h"

#include <QTextDocument>

namespace nudgerly {

QString plainToolTip(const QString& text) {
    return text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

void setPlainToolTip(QWidget& widget, const QString& text) {
    widget.setToolTip(plainToolTip(text));
    // Without a description of its own, assistive technology would read the tooltip's markup.
    widget.setAccessibleDescription(text);
}

}  // namespace nudgerly
