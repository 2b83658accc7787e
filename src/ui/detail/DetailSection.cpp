#include "ui/detail/DetailSection.h"

#include <QVBoxLayout>

#include "ui/kit/WrapLabel.h"

namespace nudgerly {

DetailSection::DetailSection(const QString& title, QWidget* content, QWidget* parent) : QWidget(parent) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 18, 0, 18);
    stack->setSpacing(10);
    title_ = new WrapLabel(TextStyle::headline, Tone::primary, this);
    title_->setObjectName(QStringLiteral("titleLabel"));
    title_->setText(title);
    stack->addWidget(title_);
    stack->addWidget(content);
}

void DetailSection::setTitle(const QString& title) {
    title_->setText(title);
}

QString DetailSection::title() const {
    return title_->text();
}

}  // namespace nudgerly
