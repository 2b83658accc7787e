#pragma once

#include <array>

#include <QModelIndex>
#include <QWidget>

#include "ui/shell/AppSidebar.h"

class QListView;
class QStandardItem;
class QStandardItemModel;

namespace nudgerly {

class StateBridge;

// The window's sidebar ("sidebar"): the list of queue views and pages with their counts ("sidebarList"),
// then the Messages, Gmail and Local AI status lines ("messagesStatus", "gmailStatus", "localAIStatus").
// The list's selection always shows what the state says; choosing a row asks the state object, then the
// selection is read back, so a choice a gate turned away does not stay selected.
class Sidebar : public QWidget {
    Q_OBJECT

public:
    // Item data of a row in the list's model.
    enum Role { symbolRole = Qt::UserRole + 1, countRole, destinationRole, headerRole };

    explicit Sidebar(StateBridge& bridge, QWidget* parent = nullptr);

    QListView& list() const { return *list_; }
    // The model row of a destination.
    int rowOf(SidebarDestination destination) const;

    QSize sizeHint() const override;

private:
    void sync();
    void syncSelection();
    void choose(const QModelIndex& index);

    StateBridge& bridge_;
    QListView* list_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    std::array<QStandardItem*, 7> rows_{};
    std::array<SidebarStatusLine*, 3> statusLines_{};
};

}  // namespace nudgerly
