#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractListModel>

#include "core/Date.h"
#include "review/ReviewItem.h"
#include "ui/shared/RowPresentation.h"

namespace nudgerly {

// One row of the queue list: a status group's header, or an item with what its row shows.
struct QueueListRow {
    bool isHeader = false;
    ReviewStatus status = ReviewStatus::reply;  // a header's status
    int64_t count = 0;                          // a header's item count
    ReviewItem item;                            // an item row's item
    RowPresentation presentation;               // an item row's painting

    friend bool operator==(const QueueListRow&, const QueueListRow&) = default;
};

// The rows of the queue list, flat or grouped by status. A new list replaces the rows in place when
// its rows are the same ones in the same order, telling the view only which rows changed, so the
// selection and the scroll position stay; any other list resets the model. Header rows cannot be
// selected or pressed. Main thread only.
class QueueListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { ItemIdRole = Qt::UserRole + 1, HeaderRole };

    explicit QueueListModel(QObject* parent = nullptr);

    // Shows `items` in their order, under status headers when `grouped`, with status badges when not.
    // Ages are worked out at `now`. Returns whether the model was reset.
    bool setItems(const std::vector<ReviewItem>& items, bool grouped, Date now);

    const QueueListRow& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    // The row of the item with `id`, or -1.
    int rowOfItem(const std::string& id) const;
    // The item id of an item row; none for a header or an invalid index.
    std::optional<std::string> itemID(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<QueueListRow> rows_;
};

}  // namespace nudgerly
