#include "ui/shell/CommandCenterPage.h"

#include <algorithm>
#include <cmath>

#include <QHBoxLayout>
#include <QResizeEvent>
#include <QShowEvent>

#include "ui/detail/ConversationDetailPane.h"
#include "ui/kit/Divider.h"
#include "ui/kit/StateBridge.h"
#include "ui/queue/QueueListPane.h"

namespace nudgerly {

double listPaneWidth(double pageWidth) {
    return std::min(std::max(pageWidth * 0.44, 360.0), 500.0);
}

CommandCenterPage::CommandCenterPage(AppStateView& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("commandCenterPage"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    list_ = new QueueListPane(state_, this);
    list_->setObjectName(QStringLiteral("queueListPane"));
    detail_ = new ConversationDetailPane(state_, {}, this);
    row->addWidget(list_);
    row->addWidget(new Divider(Qt::Vertical, this));
    row->addWidget(detail_, 1);
    list_->setFixedWidth(static_cast<int>(std::lround(listPaneWidth(width()))));

    bridge_ = new StateBridge(state_, this);
    connect(bridge_, &StateBridge::changed, this, &CommandCenterPage::followVisibleQueue);
}

void CommandCenterPage::resizeEvent(QResizeEvent* event) {
    list_->setFixedWidth(static_cast<int>(std::lround(listPaneWidth(event->size().width()))));
    QWidget::resizeEvent(event);
}

void CommandCenterPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) {
        return;  // the window came back from elsewhere; the page itself was not newly shown
    }
    shown_ = state_.visibleQueue();
    state_.reconcileSelection();
}

void CommandCenterPage::followVisibleQueue() {
    if (!isVisible()) {
        return;  // showing the page again reconciles
    }
    std::shared_ptr<const QueueItems> visible = state_.visibleQueue();
    const bool sameItems = visible == shown_ || (shown_ && visible->sameIDs(*shown_));
    shown_ = std::move(visible);
    if (!sameItems) {
        state_.reconcileSelection();
    }
}

}  // namespace nudgerly
