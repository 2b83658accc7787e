#include "ui/queue/QueueListModel.h"

#include <algorithm>

#include "ui/kit/PlainText.h"
#include "ui/queue/QueueList.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly {
namespace {

// Rows are the same ones when they stand for the same header or the same item id.
bool sameRow(const QueueListRow& first, const QueueListRow& second) {
    if (first.isHeader != second.isHeader) {
        return false;
    }
    return first.isHeader ? first.status == second.status : first.item.id == second.item.id;
}

QueueListRow itemRow(const ReviewItem& item, bool showsStatus, Date now) {
    return {.status = item.status, .item = item, .presentation = rowPresentation(item, showsStatus, now)};
}

std::vector<QueueListRow> rowsFor(const std::vector<ReviewItem>& items, bool grouped, Date now) {
    std::vector<QueueListRow> rows;
    if (!grouped) {
        rows.reserve(items.size());
        for (const ReviewItem& item : items) {
            rows.push_back(itemRow(item, true, now));
        }
        return rows;
    }
    const auto sections = QueueList::groupedSections(items);
    rows.reserve(items.size() + sections.size());
    for (const QueueList::Section& section : sections) {
        rows.push_back({.isHeader = true, .status = section.status, .count = static_cast<int64_t>(section.items.size())});
        for (const ReviewItem& item : section.items) {
            rows.push_back(itemRow(item, false, now));
        }
    }
    return rows;
}

}  // namespace

QueueListModel::QueueListModel(QObject* parent) : QAbstractListModel(parent) {}

bool QueueListModel::setItems(const std::vector<ReviewItem>& items, bool grouped, Date now) {
    std::vector<QueueListRow> rows = rowsFor(items, grouped, now);
    if (!std::ranges::equal(rows, rows_, sameRow)) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return true;
    }
    // The same rows: tell the view about each run of rows whose content changed.
    int first = -1;
    for (int index = 0; index <= static_cast<int>(rows.size()); ++index) {
        const bool changed = index < static_cast<int>(rows.size()) &&
                             !(rows[static_cast<std::size_t>(index)] == rows_[static_cast<std::size_t>(index)]);
        if (changed) {
            rows_[static_cast<std::size_t>(index)] = std::move(rows[static_cast<std::size_t>(index)]);
            if (first < 0) {
                first = index;
            }
        } else if (first >= 0) {
            emit dataChanged(this->index(first), this->index(index - 1));
            first = -1;
        }
    }
    return false;
}

int QueueListModel::rowOfItem(const std::string& id) const {
    const auto found =
        std::ranges::find_if(rows_, [&id](const QueueListRow& row) { return !row.isHeader && row.item.id == id; });
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

std::optional<std::string> QueueListModel::itemID(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= rowCount() || row(index.row()).isHeader) {
        return std::nullopt;
    }
    return row(index.row()).item.id;
}

int QueueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant QueueListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const QueueListRow& shown = row(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            if (shown.isHeader) {
                return qtText(ReviewDisplay::statusCaption(shown.status) + " " + QueueList::localizedCount(shown.count));
            }
            return qtText(shown.item.person + ", " + shown.item.summary);
        case ItemIdRole:
            return shown.isHeader ? QVariant() : QVariant(qtText(shown.item.id));
        case HeaderRole:
            return shown.isHeader;
        default:
            return {};
    }
}

Qt::ItemFlags QueueListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return Qt::NoItemFlags;
    }
    // A header takes no part in choosing: a click on it, or the arrow keys passing it, leave the chosen
    // row as it is, since only rows choose.
    return row(index.row()).isHeader ? Qt::NoItemFlags : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace nudgerly
