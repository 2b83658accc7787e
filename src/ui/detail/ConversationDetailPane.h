#pragma once

#include <memory>

#include <QWidget>

#include "review/ReviewItem.h"
#include "state/AppStateView.h"
#include "ui/detail/PreviewImage.h"

class QPushButton;
class QScrollArea;

namespace nudgerly {

class ConversationMessageBody;
class DetailSection;
class Divider;
class ElidedLabel;
class PanePlaceholder;
class StateBridge;
class SymbolLabel;
class WrapLabel;

// The right half of the queue page, for the selected item: a scrolling header with the message, what
// needs attention and the suggested reply, over a pinned bar to open the conversation, copy the reply
// and mark the item completed or restore it. With nothing selected, a placeholder. Follows the state
// in place; goes back to the top when another item is selected. Named "detailPane"; children
// "placeholder", "detailScroll", "personLabel", "sourceLabel", "dateLabel", "messageSection" ("messageBody"),
// "attentionSection" ("summaryText"), "replySection" ("draftText"), "detailActions", "openButton",
// "copyReplyButton", "completeButton".
class ConversationDetailPane : public QWidget {
    Q_OBJECT

public:
    explicit ConversationDetailPane(AppStateView& state, PreviewImageLimits limits = {}, QWidget* parent = nullptr);

    // The item shown, null while the placeholder is.
    const std::shared_ptr<const ReviewItem>& item() const { return item_; }

    // "No completed conversation selected" or "No conversation selected".
    static QString placeholderTitle(QueueCompletionScope scope);

private:
    QWidget* detailHeader();
    QWidget* detailActions();
    void sync();
    void showItem(const ReviewItem& item);
    void syncCompleteButton(const ReviewItem& item);

    AppStateView& state_;
    StateBridge* bridge_ = nullptr;
    std::shared_ptr<const ReviewItem> item_;

    PanePlaceholder* placeholder_ = nullptr;
    QWidget* detail_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    ElidedLabel* person_ = nullptr;
    SymbolLabel* source_ = nullptr;
    ElidedLabel* date_ = nullptr;
    DetailSection* messageSection_ = nullptr;
    ConversationMessageBody* body_ = nullptr;
    WrapLabel* summary_ = nullptr;
    Divider* replyDivider_ = nullptr;
    DetailSection* replySection_ = nullptr;
    WrapLabel* draft_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* copyReply_ = nullptr;
    QPushButton* complete_ = nullptr;
};

}  // namespace nudgerly
