#pragma once

#include <memory>

#include <QWidget>

#include "state/AppStateView.h"

namespace nudgerly {

class ConversationDetailPane;
class StateBridge;

// The list pane's width on a page `pageWidth` wide: 44 % of it, kept between 360 and 500.
double listPaneWidth(double pageWidth);

// The queue page: the queue list pane at the width above, a divider, and the detail pane for the
// selected item in the rest. Keeps the selection on a visible item: it reconciles the selection when
// shown and whenever the ordered ids of the visible queue change, never for a change inside an item.
// Children "queueListPane", "detailPane".
class CommandCenterPage : public QWidget {
    Q_OBJECT

public:
    explicit CommandCenterPage(AppStateView& state, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void followVisibleQueue();

    AppStateView& state_;
    StateBridge* bridge_ = nullptr;
    QWidget* list_ = nullptr;
    ConversationDetailPane* detail_ = nullptr;
    std::shared_ptr<const QueueItems> shown_;  // the visible queue when the selection was last reconciled
};

}  // namespace nudgerly
