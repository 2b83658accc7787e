#include "ui/shell/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include "ui/kit/PlainText.h"

namespace nudgerly {

void QtClipboard::setText(const std::string& text) {
    QGuiApplication::clipboard()->setText(qtText(text));
}

}  // namespace nudgerly
