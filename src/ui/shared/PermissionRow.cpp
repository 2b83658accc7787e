#include "ui/shared/PermissionRow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/TextStyle.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {
namespace {

// Runs the action the row holds when the button is pressed. It is copied first: the action may apply a
// new content to this row, which replaces the one running.
void runAction(const std::function<void()>& held) {
    if (const std::function<void()> action = held) {
        action();
    }
}

}  // namespace

PermissionRow::PermissionRow(PermissionRowSpec details, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 14, 0, 14);
    row->setSpacing(14);

    icon_ = SymbolView::cardIcon({}, Tone::secondary, this);
    row->addWidget(icon_, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    step_ = new WrapLabel(TextStyle::caption, Tone::secondary, this);
    step_->setObjectName(QStringLiteral("stepLabel"));
    step_->setTextStyle(TextStyle::caption, FontWeight::semibold);
    texts->addWidget(step_);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(7);
    title_ = new WrapLabel(TextStyle::headline, Tone::primary, this);
    title_->setObjectName(QStringLiteral("titleLabel"));
    title_->setSizePolicy(QSizePolicy::Maximum, title_->sizePolicy().verticalPolicy());
    readiness_ = new SymbolLabel({}, TextStyle::caption, Tone::orange, SymbolLabel::Lines::one, this);
    readiness_->setObjectName(QStringLiteral("readinessLabel"));
    titleLine->addWidget(title_, 0, Qt::AlignVCenter);
    titleLine->addWidget(readiness_, 0, Qt::AlignVCenter);
    titleLine->addStretch(1);
    texts->addLayout(titleLine);
    detail_ = new WrapLabel(TextStyle::subheadline, Tone::secondary, this);
    detail_->setObjectName(QStringLiteral("detailLabel"));
    texts->addWidget(detail_);
    row->addLayout(texts, 1);
    row->addSpacing(16);

    secondary_ = new QPushButton(this);
    secondary_->setObjectName(QStringLiteral("secondaryButton"));
    primary_ = new QPushButton(this);
    primary_->setObjectName(QStringLiteral("primaryButton"));
    Look::setProminent(*primary_);
    row->addWidget(secondary_, 0, Qt::AlignVCenter);
    row->addWidget(primary_, 0, Qt::AlignVCenter);
    connect(secondary_, &QPushButton::clicked, this, [this] { runAction(details_.secondary); });
    connect(primary_, &QPushButton::clicked, this, [this] { runAction(details_.primary); });

    apply(std::move(details));
}

void PermissionRow::apply(PermissionRowSpec details) {
    details_ = std::move(details);

    icon_->setSymbol(details_.icon);
    icon_->setTone(details_.connected ? Tone::green : Tone::secondary);
    step_->setText(details_.stepLabel ? qtText(*details_.stepLabel) : QString());
    step_->setVisible(details_.stepLabel.has_value());
    title_->setText(qtText(details_.title));
    readiness_->setSymbol(details_.connected ? "checkmark.circle.fill" : "exclamationmark.circle");
    readiness_->setTone(details_.connected ? Tone::green : Tone::orange);
    readiness_->setText(details_.connected ? QStringLiteral("Ready") : QStringLiteral("Needs setup"));
    detail_->setText(qtText(details_.detail));

    const bool showsSecondary = details_.secondaryTitle && details_.secondary;
    secondary_->setText(showsSecondary ? buttonText(qtText(*details_.secondaryTitle)) : QString());
    secondary_->setVisible(showsSecondary);
    const bool showsPrimary = details_.primaryTitle && details_.primary;
    primary_->setText(showsPrimary ? buttonText(qtText(*details_.primaryTitle)) : QString());
    primary_->setVisible(showsPrimary);
    primary_->setEnabled(details_.primaryEnabled);
}

}  // namespace nudgerly
