#include "ui/queue/QueueListModel.h"

#include <algorithm>

#include "review/MessageAge.h"
#include "ui/kit/PlainText.h"
#include "ui/queue/QueueList.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly {
namespace {

// Rows are the same ones when they stand for the same header or the same item id.
bool sameRow(const QueueListEntry& first, const QueueListEntry& second) {
    if ((first.item == nullptr) != (second.item == nullptr)) {
        return false;
    }
    return first.item ? first.item == second.item || first.item->id == second.item->id : first.status == second.status;
}

// Whether a row shows anything else: a header's count, or an item's painted fields.
bool sameContent(const QueueListEntry& first, const QueueListEntry& second) {
    if (!first.item) {
        return first.count == second.count;
    }
    if (first.item == second.item) {
        return first.showsStatus == second.showsStatus;
    }
    const ReviewItem& a = *first.item;
    const ReviewItem& b = *second.item;
    return first.showsStatus == second.showsStatus && a.source == b.source && a.status == b.status &&
           a.person == b.person && a.date == b.date && a.timestamp == b.timestamp && a.summary == b.summary &&
           a.verdict == b.verdict;
}

std::vector<QueueListEntry> rowsFor(const QueueItems& items, bool grouped) {
    std::vector<QueueListEntry> rows;
    if (!grouped) {
        rows.reserve(items.size());
        for (const ReviewItem& item : items) {
            rows.push_back({.item = &item, .status = item.status, .showsStatus = true});
        }
        return rows;
    }
    const auto sections = QueueList::sectionsOf(items);
    rows.reserve(items.size() + sections.size());
    for (const auto& section : sections) {
        rows.push_back({.status = section.status, .count = static_cast<int64_t>(section.items.size())});
        for (const ReviewItem* item : section.items) {
            rows.push_back({.item = item, .status = section.status, .showsStatus = false});
        }
    }
    return rows;
}

}  // namespace

QueueListModel::QueueListModel(QObject* parent) : QAbstractListModel(parent), items_(std::make_shared<QueueItems>()) {}

bool QueueListModel::setItems(std::shared_ptr<const QueueItems> items, bool grouped, Date now) {
    now_ = now;
    if (items == items_ && grouped == grouped_) {
        return false;  // the very list shown, whose items never change
    }
    grouped_ = grouped;
    if (items->owners() != items_->owners()) {
        ++ownersGeneration_;
    }
    std::vector<QueueListEntry> rows = rowsFor(*items, grouped);
    if (!std::ranges::equal(rows, rows_, sameRow)) {
        beginResetModel();
        rows_ = std::move(rows);
        items_ = std::move(items);
        endResetModel();
        return true;
    }
    // The same rows: tell the view about each run of rows whose content changed. The old items are
    // still alive here, held by the old list.
    std::vector<std::pair<int, int>> changed;
    for (int index = 0; index < static_cast<int>(rows.size()); ++index) {
        const auto at = static_cast<std::size_t>(index);
        if (!sameContent(rows[at], rows_[at])) {
            if (!changed.empty() && changed.back().second == index - 1) {
                changed.back().second = index;
            } else {
                changed.emplace_back(index, index);
            }
        }
    }
    rows_ = std::move(rows);
    items_ = std::move(items);
    for (const auto& [first, last] : changed) {
        emit dataChanged(index(first), index(last));
    }
    return false;
}

int QueueListModel::rowOfItem(const std::string& id) const {
    const auto found =
        std::ranges::find_if(rows_, [&id](const QueueListEntry& row) { return row.item && row.item->id == id; });
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

std::optional<std::string> QueueListModel::itemID(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= rowCount() || !entry(index.row()).item) {
        return std::nullopt;
    }
    return entry(index.row()).item->id;
}

int QueueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant QueueListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const QueueListEntry& shown = entry(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            if (!shown.item) {
                return qtText(ReviewDisplay::statusCaption(shown.status) + " " +
                              QueueList::localizedCount(shown.count));
            }
            if (role == Qt::AccessibleTextRole) {
                // What the badges show to the eye: the status, and the age or else the date.
                const ReviewItem& item = *shown.item;
                const std::string age = item.timestamp ? MessageAge::label(*item.timestamp, now_) : item.date;
                return qtText(item.person + ", " + item.summary + ", " +
                              std::string(ReviewDisplay::statusName(item.status)) + (age.empty() ? "" : ", " + age));
            }
            return qtText(shown.item->person + ", " + shown.item->summary);
        case ItemIdRole: return shown.item ? QVariant(qtText(shown.item->id)) : QVariant();
        case HeaderRole: return !shown.item;
        default: return {};
    }
}

Qt::ItemFlags QueueListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return Qt::NoItemFlags;
    }
    // A header takes no part in choosing: a click on it, or the arrow keys passing it, leave the chosen
    // row as it is, since only rows choose.
    return entry(index.row()).item ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace nudgerly
