#include "ui/shared/PrivacyRow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/kit/SymbolView.h"
#include "ui/kit/TextStyle.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {

PrivacyRow::PrivacyRow(std::string_view icon, const QString& title, const QString& detail, QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 14, 0, 14);
    row->setSpacing(14);
    icon_ = SymbolView::cardIcon(icon, Tone::secondary, this);
    row->addWidget(icon_, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    title_ = new WrapLabel(TextStyle::headline, Tone::primary, this);
    title_->setObjectName(QStringLiteral("titleLabel"));
    title_->setText(title);
    detail_ = new WrapLabel(TextStyle::subheadline, Tone::secondary, this);
    detail_->setObjectName(QStringLiteral("detailLabel"));
    detail_->setText(detail);
    texts->addWidget(title_);
    texts->addWidget(detail_);
    row->addLayout(texts, 1);
    row->addSpacing(16);
}

}  // namespace nudgerly
