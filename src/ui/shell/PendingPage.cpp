#include "ui/shell/PendingPage.h"

#include <QVBoxLayout>

#include "ui/kit/WrapLabel.h"

namespace nudgerly {

PendingPage::PendingPage(const QString& text, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    auto* label = new WrapLabel(TextStyle::body, Tone::secondary, this);
    label->setText(text);
    label->setAlignment(Qt::AlignCenter);
    column->addWidget(label, 1, Qt::AlignCenter);
}

}  // namespace nudgerly
