#pragma once

#include <string>

#include <QWidget>

#include "core/HeapOptional.h"
#include "review/MessageLinkPreview.h"
#include "review/ReviewSource.h"
#include "ui/detail/PreviewImage.h"

namespace nudgerly {

class MessageLinkPreviewCard;
class RoundedBox;
class WrapLabel;

// The text of a conversation's latest message. Messages: a bubble as wide as its text when the text
// is more than white space, then the shared link's card. Gmail: the body in a framed box, always,
// and never a card. Children "messageBubble" (holding "messageText"), "emailBox" (holding
// "emailText") and "linkPreviewCard".
class ConversationMessageBody : public QWidget {
    Q_OBJECT

public:
    explicit ConversationMessageBody(PreviewImageLimits limits = {}, QWidget* parent = nullptr);

    // Updates the body in place.
    void setMessage(ReviewSource source, const std::string& text, const HeapOptional<MessageLinkPreview>& linkPreview);

    // Whether anything is shown: a Messages text of white space alone with no link shows nothing.
    bool hasContent() const;

    // Whether a Messages text gets its bubble: it holds more than white space and line breaks.
    static bool showsBubble(const std::string& text);

private:
    RoundedBox* bubble_ = nullptr;
    WrapLabel* bubbleText_ = nullptr;
    RoundedBox* emailBox_ = nullptr;
    WrapLabel* emailText_ = nullptr;
    MessageLinkPreviewCard* card_ = nullptr;
};

}  // namespace nudgerly
