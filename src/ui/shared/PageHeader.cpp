#include "ui/shared/PageHeader.h"

#include <QVBoxLayout>

#include "ui/kit/WrapLabel.h"

namespace nudgerly {

PageHeader::PageHeader(const QString& title, const QString& detail, QWidget* parent) : QWidget(parent) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(5);
    title_ = new WrapLabel(TextStyle::title, Tone::primary, this);
    title_->setObjectName(QStringLiteral("titleLabel"));
    title_->setTextStyle(TextStyle::title, FontWeight::semibold);
    title_->setText(title);
    detail_ = new WrapLabel(TextStyle::body, Tone::secondary, this);
    detail_->setObjectName(QStringLiteral("detailLabel"));
    detail_->setText(detail);
    stack->addWidget(title_);
    stack->addWidget(detail_);
}

}  // namespace nudgerly
