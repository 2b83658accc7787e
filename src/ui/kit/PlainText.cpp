#include "ui/kit/PlainText.h"

#include <QTextDocument>

namespace nudgerly {

void setPlainToolTip(QWidget& widget, const QString& text) {
    widget.setToolTip(text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal));
}

}  // namespace nudgerly
