#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractListModel>

#include "core/Date.h"
#include "review/ReviewItem.h"
#include "state/QueueItems.h"

namespace nudgerly {

// One row of the queue list as the model keeps it: a status group's header, or an item of the list
// it shows, which keeps the item alive.
struct QueueListEntry {
    const ReviewItem* item = nullptr;           // null for a header
    ReviewStatus status = ReviewStatus::reply;  // a header's status
    int64_t count = 0;                          // a header's item count
    bool showsStatus = false;                   // an item row shows its status badge
};

// The rows of the queue list, flat or grouped by status, over the shared visible list: the rows point
// into it and nothing of an item is copied; what a row paints is worked out by the delegate for the
// rows it paints. A new list replaces the rows in place when its rows are the same ones in the same
// order, telling the view only which rows changed, so the selection and the scroll position stay; any
// other list resets the model. Header rows cannot be selected or pressed. Main thread only.
class QueueListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { ItemIdRole = Qt::UserRole + 1, HeaderRole };

    explicit QueueListModel(QObject* parent = nullptr);

    // Shows `items` in their order, under status headers when `grouped`, with status badges when not.
    // Ages are worked out at `now` (the delegate tells the view which shown ages that changes). Returns
    // whether the model was reset.
    bool setItems(std::shared_ptr<const QueueItems> items, bool grouped, Date now);

    const QueueListEntry& entry(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    // Counts the lists shown whose items point into other snapshots than the list before: while it
    // stays the same, the items of the rows shown are the very objects they were, alive all along.
    uint64_t ownersGeneration() const { return ownersGeneration_; }
    // The snapshots the rows' items point into.
    const std::vector<std::shared_ptr<const ReviewSnapshot>>& owners() const { return items_->owners(); }
    // The moment the ages are worked out at.
    Date now() const { return now_; }
    // The row of the item with `id`, or -1.
    int rowOfItem(const std::string& id) const;
    // The item id of an item row; none for a header or an invalid index.
    std::optional<std::string> itemID(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::shared_ptr<const QueueItems> items_;
    std::vector<QueueListEntry> rows_;
    bool grouped_ = false;
    uint64_t ownersGeneration_ = 0;
    Date now_;
};

}  // namespace nudgerly
