#include "ui/queue/QueueRowDelegate.h"

#include <algorithm>
#include <functional>

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include "review/MessageAge.h"
#include "ui/kit/ElidedText.h"
#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/TextStyle.h"
#include "ui/queue/QueueList.h"
#include "ui/queue/QueueListModel.h"
#include "ui/shared/QueueRowPainter.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly {
namespace {

// The inset list: rows keep clear of the view's edges, and the selection is a rounded box.
constexpr int inset = 8;
constexpr int contentPadding = 8;  // inside the selection box
constexpr int headerTop = 10;
constexpr int headerBottom = 4;
constexpr int selectionRadius = 6;

QFont headerFont() {
    return fontFor(TextStyle::caption, FontWeight::semibold);
}

int viewportWidth(const QStyleOptionViewItem& option) {
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget)) {
        return view->viewport()->width();
    }
    return option.rect.width();
}

void paintHeader(QPainter& painter, const QRect& rect, const QueueListEntry& row) {
    const QFont font = headerFont();
    const QFontMetrics metrics(font);
    const QRect line(rect.left(), rect.top() + headerTop, rect.width(), metrics.height());
    const QString count = qtText(QueueList::localizedCount(row.count));
    const int countWidth = idealWidth(count, font);
    painter.save();
    painter.setPen(Look::color(Tone::secondary));
    drawLines(painter, QRect(line.right() + 1 - countWidth, line.top(), countWidth, line.height()), font, {count});
    const QRect name(line.left(), line.top(), std::max(line.width() - countWidth - 8, 0), line.height());
    drawLines(painter, name, font,
              elideText(qtText(ReviewDisplay::statusCaption(row.status)), font, name.width(), 1).lines);
    painter.restore();
}

}  // namespace

QueueRowDelegate::QueueRowDelegate(QueueListModel& model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model) {
    connect(&model, &QAbstractItemModel::modelReset, this, [this] {
        // Heights of items long gone are dropped now and then, so that the cache stays near the size of
        // the longest list lately; a search that narrows the list keeps the others for its clearing.
        longestList_ = std::max(longestList_, static_cast<std::size_t>(model_.rowCount()));
        if (heights_.size() > 2 * longestList_ + 256) {
            heights_.clear();
            longestList_ = static_cast<std::size_t>(model_.rowCount());
        }
        painted_.clear();
    });
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) { remeasure(first, last); });
}

void QueueRowDelegate::showAges(QAbstractItemView& view) const {
    const QRect shown = view.viewport()->rect();
    const QModelIndex top = view.indexAt(shown.topLeft());
    if (!top.isValid()) {
        return;
    }
    for (int index = top.row(); index < model_.rowCount(); ++index) {
        const QModelIndex at = model_.index(index);
        if (!view.visualRect(at).intersects(shown)) {
            break;
        }
        const QueueListEntry& row = model_.entry(index);
        const auto painted = row.item ? painted_.find(row.item->id) : painted_.end();
        if (painted == painted_.end() || !row.item->timestamp) {
            continue;  // painted afresh when it is painted
        }
        const BadgePresentation age{MessageAge::label(*row.item->timestamp, model_.now()),
                                    AgeBadge::color(*row.item->timestamp, model_.now())};
        if (painted->second.presentation.age != age) {
            view.update(at);
        }
    }
}

QRect QueueRowDelegate::contentRect(const QRect& rowRect) {
    return rowRect.adjusted(inset + contentPadding, 0, -(inset + contentPadding), 0);
}

int QueueRowDelegate::contentWidth(int viewportWidth) {
    return std::max(viewportWidth - 2 * (inset + contentPadding), 1);
}

int QueueRowDelegate::measure(const QueueListEntry& row) const {
    const ReviewItem& item = *row.item;
    auto [found, added] = heights_.try_emplace(item.id);
    Measured& measured = found->second;
    if (!added && measured.item == &item && measured.ownersGeneration == model_.ownersGeneration() &&
        measured.status == row.showsStatus) {
        return measured.height;  // the very item it was measured from, so nothing of it can differ
    }
    const std::size_t summaryHash = std::hash<std::string>{}(item.summary);
    const bool age = item.timestamp.has_value();
    if (added || measured.summarySize != item.summary.size() || measured.summaryHash != summaryHash ||
        measured.age != age || measured.status != row.showsStatus) {
        const RowPresentation summary{.summary = item.summary};
        const int lines = QueueConversationRow::summaryLines(summary, contentWidth(cachedWidth_));
        measured = {.item = &item,
                    .ownersGeneration = model_.ownersGeneration(),
                    .summarySize = item.summary.size(),
                    .summaryHash = summaryHash,
                    .age = age,
                    .status = row.showsStatus,
                    .height = heightOfShape(row, lines)};
        ++computed_;
    } else {
        measured.item = &item;
        measured.ownersGeneration = model_.ownersGeneration();
    }
    return measured.height;
}

uint16_t* QueueRowDelegate::heightByPlace(const QueueListEntry& row) const {
    if (placesGeneration_ != model_.ownersGeneration()) {
        byPlace_.clear();
        for (const auto& owner : model_.owners()) {
            byPlace_.push_back({owner.get(), std::vector<std::array<uint16_t, 2>>(owner->items.size())});
        }
        placesGeneration_ = model_.ownersGeneration();
    }
    for (PlaceHeights& owner : byPlace_) {
        const ReviewItem* first = owner.snapshot->items.data();
        const std::less_equal<const ReviewItem*> notAfter;
        if (notAfter(first, row.item) && std::less<const ReviewItem*>()(row.item, first + owner.heights.size())) {
            return &owner.heights[static_cast<std::size_t>(row.item - first)][row.showsStatus ? 1 : 0];
        }
    }
    return nullptr;
}

int QueueRowDelegate::heightOfShape(const QueueListEntry& row, int summaryLines) const {
    const bool age = row.item->timestamp.has_value();
    const std::size_t shape = (age ? 6 : 0) + (row.showsStatus ? 3 : 0) + static_cast<std::size_t>(summaryLines);
    int& height = shapeHeights_.at(shape);
    if (height == 0) {
        height = QueueConversationRow::height(rowPresentation(*row.item, row.showsStatus, model_.now()),
                                              contentWidth(cachedWidth_));
    }
    return height;
}

const RowPresentation& QueueRowDelegate::presentation(const QueueListEntry& row) const {
    // Rows painted lately are few; many means scrolling went far, and those rows are out of sight.
    if (painted_.size() > 512) {
        painted_.clear();
    }
    Painted& painted = painted_[row.item->id];
    if (painted.item != row.item || painted.showsStatus != row.showsStatus || painted.now != model_.now()) {
        painted = {row.item, row.showsStatus, model_.now(), rowPresentation(*row.item, row.showsStatus, model_.now())};
    }
    return painted.presentation;
}

void QueueRowDelegate::remeasure(const QModelIndex& first, const QModelIndex& last) {
    bool resized = false;
    for (int index = first.row(); index <= last.row(); ++index) {
        const QueueListEntry& row = model_.entry(index);
        if (row.item) {
            painted_.erase(row.item->id);
        }
        const auto found = row.item ? heights_.find(row.item->id) : heights_.end();
        if (found != heights_.end()) {
            const int before = found->second.height;
            if (measure(row) != before) {
                resized = true;
            }
        }
    }
    if (resized) {
        emit sizeHintChanged(first);  // the view lays its rows out again
    }
}

QSize QueueRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int width = viewportWidth(option);
    const QueueListEntry& row = model_.entry(index.row());
    if (!row.item) {
        return {width, headerTop + QFontMetrics(headerFont()).height() + headerBottom};
    }
    if (width != cachedWidth_) {
        heights_.clear();
        byPlace_.clear();
        placesGeneration_.reset();
        shapeHeights_.fill(0);
        cachedWidth_ = width;
    }
    uint16_t* known = heightByPlace(row);
    if (!known) {
        return {width, measure(row)};
    }
    if (*known == 0) {
        *known = static_cast<uint16_t>(std::clamp(measure(row), 1, 0xFFFF));
    }
    return {width, *known};
}

void QueueRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QueueListEntry& row = model_.entry(index.row());
    const QRect rect = contentRect(option.rect);
    if (!row.item) {
        paintHeader(*painter, rect, row);
        return;
    }
    if (option.state & QStyle::State_Selected) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(option.rect.adjusted(inset, 1, -inset, -1)), selectionRadius, selectionRadius);
        const bool focused = option.state & QStyle::State_Active;
        painter->fillPath(path, Look::withOpacity(Look::color(Tone::accent), focused ? 0.18 : 0.1));
        painter->restore();
    }
    if (option.state & QStyle::State_HasFocus) {
        Look::paintFocusRing(*painter, QRectF(option.rect.adjusted(inset, 1, -inset, -1)), selectionRadius);
    }
    QueueConversationRow::paint(*painter, rect, presentation(row));
}

bool QueueRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const QueueListEntry& row = model_.entry(index.row());
    if (row.item && row.item->timestamp &&
        QueueConversationRow::layout(presentation(row), contentRect(option.rect)).date.contains(event->pos())) {
        QToolTip::showText(event->globalPos(), plainToolTip(qtText(row.item->date)), view);
    } else {
        QToolTip::hideText();
    }
    return true;
}

}  // namespace nudgerly
