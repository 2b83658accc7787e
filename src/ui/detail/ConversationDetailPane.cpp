#include "ui/detail/ConversationDetailPane.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "state/QueueDerivation.h"
#include "ui/detail/ConversationMessageBody.h"
#include "ui/detail/DetailSection.h"
#include "ui/detail/DetailText.h"
#include "ui/kit/Divider.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/RoundedBox.h"
#include "ui/kit/StateBridge.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/WidgetProperties.h"
#include "ui/kit/WrapLabel.h"
#include "ui/shared/PanePlaceholder.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly {
namespace {

constexpr int sidePadding = 20;

// The button's symbol before its title, in the colour of its text.
void setButtonSymbol(QPushButton& button, std::string_view symbol, const QColor& color) {
    const int size = Symbols::sizeForText(button.font().pixelSize());
    button.setIcon(QIcon(Symbols::tinted(symbol, color, size, button.devicePixelRatioF())));
    button.setIconSize(QSize(size, size));
    setSymbolProperty(button, symbol);
}

// "Message" for a Messages item, "Email" for a Gmail one.
QString messageSectionTitle(ReviewSource source) {
    return source == ReviewSource::messages ? QStringLiteral("Message") : QStringLiteral("Email");
}

}  // namespace

ConversationDetailPane::ConversationDetailPane(AppStateView& state, PreviewImageLimits limits, QWidget* parent)
    : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("detailPane"));
    auto* pane = new QVBoxLayout(this);
    pane->setContentsMargins(0, 0, 0, 0);
    pane->setSpacing(0);

    placeholder_ = new PanePlaceholder(this);
    placeholder_->setObjectName(QStringLiteral("placeholder"));
    pane->addWidget(placeholder_);

    detail_ = new QWidget(this);
    auto* detailStack = new QVBoxLayout(detail_);
    detailStack->setContentsMargins(0, 0, 0, 0);
    detailStack->setSpacing(0);
    scroll_ = new QScrollArea(detail_);
    scroll_->setObjectName(QStringLiteral("detailScroll"));
    // The scroll area draws no focus of its own; the pane's buttons are its stops, the wheel scrolls it.
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setBackgroundRole(QPalette::Window);

    auto* content = new QWidget;
    auto* sections = new QVBoxLayout(content);
    sections->setContentsMargins(sidePadding, 0, sidePadding, 0);
    sections->setSpacing(0);
    sections->addWidget(detailHeader());
    sections->addWidget(new Divider(Qt::Horizontal, content));
    body_ = new ConversationMessageBody(limits, content);
    body_->setObjectName(QStringLiteral("messageBody"));
    messageSection_ = new DetailSection(QStringLiteral("Message"), body_, content);
    messageSection_->setObjectName(QStringLiteral("messageSection"));
    sections->addWidget(messageSection_);
    sections->addWidget(new Divider(Qt::Horizontal, content));
    summary_ = selectableText(QStringLiteral("summaryText"), content);
    auto* attention = new DetailSection(QStringLiteral("What needs attention"), summary_, content);
    attention->setObjectName(QStringLiteral("attentionSection"));
    sections->addWidget(attention);
    replyDivider_ = new Divider(Qt::Horizontal, content);
    sections->addWidget(replyDivider_);
    auto* replyBox = new RoundedBox(content);
    replyBox->setFill(Tone::quaternary, 0.55);
    replyBox->setCornerRadius(7);
    replyBox->setContentsMargins(12, 12, 12, 12);
    draft_ = selectableText(QStringLiteral("draftText"), replyBox);
    fill(*replyBox, draft_);
    replySection_ = new DetailSection(QStringLiteral("Suggested reply"), replyBox, content);
    replySection_->setObjectName(QStringLiteral("replySection"));
    sections->addWidget(replySection_);
    sections->addStretch(1);
    scroll_->setWidget(content);

    detailStack->addWidget(scroll_, 1);
    detailStack->addWidget(new Divider(Qt::Horizontal, detail_));
    detailStack->addWidget(detailActions());
    pane->addWidget(detail_, 1);

    bridge_ = new StateBridge(state_, this);
    connect(bridge_, &StateBridge::changed, this, &ConversationDetailPane::sync);
    sync();
}

QWidget* ConversationDetailPane::detailHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 18, 0, 18);
    row->setSpacing(12);
    auto* stack = new QVBoxLayout;
    stack->setSpacing(2);
    person_ = new ElidedLabel(TextStyle::title3, Tone::primary, 2, header);
    person_->setObjectName(QStringLiteral("personLabel"));
    person_->setTextStyle(TextStyle::title3, FontWeight::semibold);
    stack->addWidget(person_);
    auto* line = new QHBoxLayout;
    line->setSpacing(5);
    source_ = new SymbolLabel({}, TextStyle::caption, Tone::secondary, SymbolLabel::Lines::one, header);
    source_->setObjectName(QStringLiteral("sourceLabel"));
    auto* dot = new ElidedLabel(TextStyle::caption, Tone::secondary, 1, header);
    dot->setText(QStringLiteral("\u00B7"));
    dot->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    date_ = new ElidedLabel(TextStyle::caption, Tone::secondary, 1, header);
    date_->setObjectName(QStringLiteral("dateLabel"));
    line->addWidget(source_);
    line->addWidget(dot);
    line->addWidget(date_, 1);
    stack->addLayout(line);
    row->addLayout(stack, 1);
    return header;
}

QWidget* ConversationDetailPane::detailActions() {
    auto* bar = new QWidget;
    bar->setObjectName(QStringLiteral("detailActions"));
    bar->setAutoFillBackground(true);
    QPalette colours = bar->palette();
    colours.setColor(QPalette::Window, Look::barMaterial());
    bar->setPalette(colours);
    auto* stack = new QVBoxLayout(bar);
    stack->setContentsMargins(14, 14, 14, 14);
    stack->setSpacing(8);

    open_ = new QPushButton(bar);
    open_->setObjectName(QStringLiteral("openButton"));
    Look::setProminent(*open_);
    open_->setMinimumHeight(32);  // the large control size of the place's main action
    open_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setButtonSymbol(*open_, "arrow.up.forward.app", Qt::white);
    connect(open_, &QPushButton::clicked, this, [this] {
        if (item_) {
            state_.open(*item_);
        }
    });
    stack->addWidget(open_);

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    copyReply_ = new QPushButton(QStringLiteral("Copy reply"), bar);
    copyReply_->setObjectName(QStringLiteral("copyReplyButton"));
    setButtonSymbol(*copyReply_, "doc.on.doc", Look::color(Tone::primary));
    connect(copyReply_, &QPushButton::clicked, this, [this] {
        if (item_) {
            state_.copyDraft(*item_);
        }
    });
    complete_ = new QPushButton(bar);
    complete_->setObjectName(QStringLiteral("completeButton"));
    connect(complete_, &QPushButton::clicked, this, [this] {
        if (item_) {
            state_.toggleCompleted(*item_);
        }
    });
    row->addWidget(copyReply_);
    row->addWidget(complete_);
    row->addStretch(1);
    stack->addLayout(row);
    return bar;
}

QString ConversationDetailPane::placeholderTitle(QueueCompletionScope scope) {
    return scope == QueueCompletionScope::completed ? QStringLiteral("No completed conversation selected")
                                                    : QStringLiteral("No conversation selected");
}

void ConversationDetailPane::sync() {
    std::shared_ptr<const ReviewItem> item = state_.selectedItem();
    if (!item) {
        item_.reset();
        placeholder_->apply({
            .title = placeholderTitle(state_.state().completionScope).toStdString(),
            .symbol = "text.bubble",
            .description = "Choose a conversation from the queue to see the message and what needs attention.",
        });
        detail_->hide();
        placeholder_->show();
        return;
    }
    const bool another = !item_ || item_->id != item->id;
    // The same item object is the same content: only its completion mark may have changed.
    if (item == item_) {
        syncCompleteButton(*item);
    } else {
        item_ = std::move(item);
        showItem(*item_);
    }
    placeholder_->hide();
    detail_->show();
    if (another) {
        scroll_->verticalScrollBar()->setValue(0);
    }
}

void ConversationDetailPane::showItem(const ReviewItem& item) {
    const std::string_view sourceName = ReviewDisplay::sourceName(item.source);
    person_->setText(qtText(item.person));
    source_->setSymbol(ReviewDisplay::sourceSymbol(item.source));
    source_->setText(qtText(sourceName));
    date_->setText(qtText(item.date));

    messageSection_->setTitle(messageSectionTitle(item.source));
    body_->setMessage(item.source, item.context, item.messageLinkPreview);
    body_->setVisible(body_->hasContent());
    summary_->setText(qtText(item.summary));

    const bool hasDraft = item.draft.has_value();  // an empty reply still gets its box and button
    replyDivider_->setVisible(hasDraft);
    replySection_->setVisible(hasDraft);
    draft_->setText(qtText(item.draft.value_or("")));

    open_->setText(buttonText(QStringLiteral("Open in ") + qtText(sourceName)));
    open_->setEnabled(item.openURL.has_value());
    copyReply_->setVisible(hasDraft);
    copyReply_->setEnabled(ReviewDisplay::hasReplyToCopy(item));
    syncCompleteButton(item);
}

void ConversationDetailPane::syncCompleteButton(const ReviewItem& item) {
    const bool completed = state_.state().completed.contains(QueueDerivation::completionIdentity(item));
    const QString title = completed ? QStringLiteral("Restore") : QStringLiteral("Mark completed");
    if (complete_->text() == title && !complete_->icon().isNull()) {
        return;  // a new icon would lay the bar out and paint it again
    }
    complete_->setText(title);
    setButtonSymbol(*complete_, completed ? "arrow.uturn.backward" : "checkmark", Look::color(Tone::primary));
}

}  // namespace nudgerly
