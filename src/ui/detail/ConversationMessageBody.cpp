#include "ui/detail/ConversationMessageBody.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/Text.h"
#include "ui/detail/DetailText.h"
#include "ui/detail/MessageLinkPreviewCard.h"
#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/RoundedBox.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {

ConversationMessageBody::ConversationMessageBody(PreviewImageLimits limits, QWidget* parent) : QWidget(parent) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(8);

    bubble_ = new RoundedBox(this);
    bubble_->setObjectName(QStringLiteral("messageBubble"));
    bubble_->setFill(Look::controlBackground());
    bubble_->setCornerRadius(12);
    bubble_->setContentsMargins(14, 14, 14, 14);
    bubble_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);  // as wide as its text
    bubbleText_ = selectableText(QStringLiteral("messageText"), bubble_);
    fill(*bubble_, bubbleText_);
    auto* bubbleRow = new QHBoxLayout;
    bubbleRow->setSpacing(0);
    bubbleRow->addWidget(bubble_);
    bubbleRow->addStretch(1);
    stack->addLayout(bubbleRow);

    emailBox_ = new RoundedBox(this);
    emailBox_->setObjectName(QStringLiteral("emailBox"));
    emailBox_->setFill(Look::withOpacity(Look::controlBackground(), 0.72));
    emailBox_->setOutline(Look::withOpacity(Look::separator(), 0.45));
    emailBox_->setCornerRadius(7);
    emailBox_->setContentsMargins(16, 16, 16, 16);
    emailText_ = selectableText(QStringLiteral("emailText"), emailBox_);
    fill(*emailBox_, emailText_);
    stack->addWidget(emailBox_);

    card_ = new MessageLinkPreviewCard(limits, this);
    card_->setObjectName(QStringLiteral("linkPreviewCard"));
    stack->addWidget(card_);

    bubble_->hide();
    emailBox_->hide();
    card_->hide();
}

void ConversationMessageBody::setMessage(ReviewSource source, const std::string& text,
                                         const HeapOptional<MessageLinkPreview>& linkPreview) {
    const bool messages = source == ReviewSource::messages;
    const QString shown = qtText(text);  // the text itself, not its trimmed form
    bubble_->setVisible(messages && showsBubble(text));
    bubbleText_->setText(messages ? shown : QString());
    emailBox_->setVisible(!messages);
    emailText_->setText(messages ? QString() : shown);
    const bool showsCard = messages && linkPreview.has_value();
    if (showsCard) {
        card_->setPreview(*linkPreview);
    }
    card_->setVisible(showsCard);
}

bool ConversationMessageBody::hasContent() const {
    return !bubble_->isHidden() || !emailBox_->isHidden() || !card_->isHidden();
}

bool ConversationMessageBody::showsBubble(const std::string& text) {
    return !text::trimmed(text).empty();
}

}  // namespace nudgerly
