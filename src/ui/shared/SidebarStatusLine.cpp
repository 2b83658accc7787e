#include "ui/shared/SidebarStatusLine.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/kit/ElidedLabel.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/RoundedBox.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {

SidebarStatusLine::SidebarStatusLine(const SidebarStatusLineSpec& details, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto* dotColumn = new QVBoxLayout;
    dotColumn->setContentsMargins(0, 4, 0, 0);
    dot_ = new RoundedBox(this);
    dot_->setObjectName(QStringLiteral("dot"));
    dot_->setFixedSize(7, 7);
    dot_->setCornerRadius(-1);
    dotColumn->addWidget(dot_);
    dotColumn->addStretch(1);
    row->addLayout(dotColumn);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    label_ = new WrapLabel(TextStyle::caption, Tone::primary, this);
    label_->setObjectName(QStringLiteral("label"));
    label_->setTextStyle(TextStyle::caption, FontWeight::medium);
    value_ = new ElidedLabel(TextStyle::caption2, Tone::secondary, 1, this);
    value_->setObjectName(QStringLiteral("valueLabel"));
    texts->addWidget(label_);
    texts->addWidget(value_);
    row->addLayout(texts, 1);

    apply(details);
}

void SidebarStatusLine::apply(const SidebarStatusLineSpec& details) {
    dot_->setFill(dotTone(details.good, details.neutral), 1.0);
    label_->setText(qtText(details.label));
    value_->setText(qtText(details.value));
}

Tone SidebarStatusLine::dotTone(bool good, bool neutral) {
    if (neutral) {
        return Tone::secondary;
    }
    return good ? Tone::green : Tone::orange;
}

}  // namespace nudgerly
