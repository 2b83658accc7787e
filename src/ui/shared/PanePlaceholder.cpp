#include "ui/shared/PanePlaceholder.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {
namespace {

constexpr int placeholderWidth = 380;
constexpr int placeholderSpacing = 10;
constexpr int noteSpacing = 5;

}  // namespace

PanePlaceholder::PanePlaceholder(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 20);
    outer->setSpacing(0);
    // The content keeps to the leading edge: a stretch takes the width it does not use.
    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    content_ = new QWidget(this);
    line->addWidget(content_, 1);
    line->addStretch(0);
    outer->addLayout(line);
    outer->addStretch(1);

    stack_ = new QVBoxLayout(content_);
    stack_->setContentsMargins(0, 0, 0, 0);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(8);
    symbol_ =
        new SymbolView({}, Tone::secondary, Symbols::sizeForText(metricsOf(TextStyle::headline).pixelSize), content_);
    symbol_->setObjectName(QStringLiteral("placeholderSymbol"));
    title_ = new WrapLabel(TextStyle::headline, Tone::primary, content_);
    title_->setObjectName(QStringLiteral("placeholderTitle"));
    titleLine->addWidget(symbol_, 0, Qt::AlignVCenter);
    titleLine->addWidget(title_, 1, Qt::AlignVCenter);
    stack_->addLayout(titleLine);
    description_ = new WrapLabel(TextStyle::subheadline, Tone::secondary, content_);
    description_->setObjectName(QStringLiteral("placeholderDescription"));
    stack_->addWidget(description_);
    buttonRow_ = new QWidget(content_);
    auto* buttons = new QHBoxLayout(buttonRow_);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(8);
    buttons->addStretch(1);
    stack_->addWidget(buttonRow_);

    apply({});
}

void PanePlaceholder::apply(const EmptyStateSpec& details) {
    details_ = details;
    const bool note = details_.kind == EmptyStateKind::initialRefresh;
    stack_->setSpacing(note ? noteSpacing : placeholderSpacing);
    content_->setMaximumWidth(note ? QWIDGETSIZE_MAX : placeholderWidth);

    symbol_->setSymbol(details_.symbol);
    symbol_->setVisible(!details_.symbol.empty());
    title_->setText(qtText(details_.title));
    title_->setAccessibleName(qtText(details_.title));
    description_->setText(qtText(details_.description));

    auto* row = static_cast<QHBoxLayout*>(buttonRow_->layout());
    while (buttons_.size() < details_.buttons.size()) {
        const std::size_t index = buttons_.size();
        auto* button = new QPushButton(buttonRow_);
        row->insertWidget(static_cast<int>(index), button);
        // The action is looked up at the press, so a reused button runs the action of the details now shown.
        connect(button, &QPushButton::clicked, this, [this, index] {
            if (index < details_.buttons.size()) {
                const EmptyStateAction action = details_.buttons[index].action;
                emit actionTriggered(action);
            }
        });
        buttons_.push_back(button);
    }
    for (std::size_t index = 0; index < buttons_.size(); ++index) {
        QPushButton& button = *buttons_[index];
        const bool shown = index < details_.buttons.size();
        button.setVisible(shown);
        if (shown) {
            const EmptyStateButton& wanted = details_.buttons[index];
            button.setText(buttonText(qtText(wanted.text)));
            button.setEnabled(wanted.enabled);
            Look::setProminent(button, wanted.prominent);
        }
    }
    buttonRow_->setVisible(!details_.buttons.empty());
}

}  // namespace nudgerly
