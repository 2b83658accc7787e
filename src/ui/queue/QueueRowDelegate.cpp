#include "ui/queue/QueueRowDelegate.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

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

QFont headerFont() { return fontFor(TextStyle::caption, FontWeight::semibold); }

int viewportWidth(const QStyleOptionViewItem& option) {
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget)) {
        return view->viewport()->width();
    }
    return option.rect.width();
}

QRect contentRect(const QRect& rowRect) {
    return rowRect.adjusted(inset + contentPadding, 0, -(inset + contentPadding), 0);
}

void paintHeader(QPainter& painter, const QRect& rect, const QueueListRow& row) {
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

QueueRowDelegate::QueueRowDelegate(QueueListModel& model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {
    connect(&model, &QAbstractItemModel::modelReset, this, [this] {
        // Heights of items long gone are dropped now and then, so that the cache stays near the list's size.
        if (heights_.size() > 2 * static_cast<std::size_t>(model_.rowCount()) + 256) {
            heights_.clear();
        }
    });
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) { remeasure(first, last); });
}

int QueueRowDelegate::contentWidth(int viewportWidth) { return std::max(viewportWidth - 2 * (inset + contentPadding), 1); }

int QueueRowDelegate::measure(const QueueListRow& row) const {
    const RowPresentation& shown = row.presentation;
    auto [found, added] = heights_.try_emplace(row.item.id);
    Measured& measured = found->second;
    if (added || measured.summary != shown.summary || measured.age != shown.age.has_value() ||
        measured.status != shown.status.has_value()) {
        const int lines = QueueConversationRow::summaryLines(shown, contentWidth(cachedWidth_));
        measured = {shown.summary, shown.age.has_value(), shown.status.has_value(), heightOfShape(row, lines)};
        ++computed_;
    }
    return measured.height;
}

int QueueRowDelegate::heightOfShape(const QueueListRow& row, int summaryLines) const {
    const RowPresentation& shown = row.presentation;
    const std::size_t shape = (shown.age ? 6 : 0) + (shown.status ? 3 : 0) + static_cast<std::size_t>(summaryLines);
    int& height = shapeHeights_.at(shape);
    if (height == 0) {
        height = QueueConversationRow::height(shown, contentWidth(cachedWidth_));
    }
    return height;
}

void QueueRowDelegate::remeasure(const QModelIndex& first, const QModelIndex& last) {
    bool resized = false;
    for (int index = first.row(); index <= last.row(); ++index) {
        const QueueListRow& row = model_.row(index);
        const auto found = row.isHeader ? heights_.end() : heights_.find(row.item.id);
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
    const QueueListRow& row = model_.row(index.row());
    if (row.isHeader) {
        return {width, headerTop + QFontMetrics(headerFont()).height() + headerBottom};
    }
    if (width != cachedWidth_) {
        heights_.clear();
        shapeHeights_.fill(0);
        cachedWidth_ = width;
    }
    return {width, measure(row)};
}

void QueueRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QueueListRow& row = model_.row(index.row());
    const QRect rect = contentRect(option.rect);
    if (row.isHeader) {
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
    QueueConversationRow::paint(*painter, rect, row.presentation);
}

bool QueueRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const QueueListRow& row = model_.row(index.row());
    if (!row.isHeader && row.presentation.age &&
        QueueConversationRow::layout(row.presentation, contentRect(option.rect)).date.contains(event->pos())) {
        QToolTip::showText(event->globalPos(), plainToolTip(qtText(row.presentation.date)), view);
    } else {
        QToolTip::hideText();
    }
    return true;
}

}  // namespace nudgerly
