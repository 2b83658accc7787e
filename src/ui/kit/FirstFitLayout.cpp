#include "ui/kit/FirstFitLayout.h"

#include <algorithm>

namespace nudgerly {

FirstFitLayout::FirstFitLayout(QWidget* parent) : QLayout(parent) {
    setContentsMargins(0, 0, 0, 0);
}

FirstFitLayout::~FirstFitLayout() {
    for (QLayoutItem* item : items_) {
        delete item;
    }
}

void FirstFitLayout::addArrangement(Arrangement arrangement) {
    arrangements_.push_back(std::move(arrangement));
    invalidate();
}

void FirstFitLayout::setHorizontalSpacing(int spacing) {
    horizontalSpacing_ = spacing;
    invalidate();
}

void FirstFitLayout::setVerticalSpacing(int spacing) {
    verticalSpacing_ = spacing;
    invalidate();
}

void FirstFitLayout::addItem(QLayoutItem* item) {
    items_.push_back(item);
}

QLayoutItem* FirstFitLayout::itemAt(int index) const {
    return index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)] : nullptr;
}

QLayoutItem* FirstFitLayout::takeAt(int index) {
    if (index < 0 || index >= count()) {
        return nullptr;
    }
    QLayoutItem* item = items_[static_cast<std::size_t>(index)];
    // The items after it keep their indices: the slot stays, empty.
    items_[static_cast<std::size_t>(index)] = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
    return item;
}

int FirstFitLayout::count() const {
    return static_cast<int>(items_.size());
}

int FirstFitLayout::widthOf(const Arrangement& arrangement, QSize (QLayoutItem::*measure)() const) const {
    int widest = 0;
    for (const Row& row : arrangement) {
        int width = 0;
        int shown = 0;
        for (const int index : row) {
            const QLayoutItem* item = itemAt(index);
            if (item && !item->isEmpty()) {
                width += (item->*measure)().width();
                ++shown;
            }
        }
        widest = std::max(widest, width + horizontalSpacing_ * std::max(shown - 1, 0));
    }
    return widest;
}

int FirstFitLayout::place(const Arrangement& arrangement, const QRect& area, bool apply) const {
    int y = area.top();
    bool firstRow = true;
    for (const Row& row : arrangement) {
        struct Placed {
            QLayoutItem* item;
            int width;
            int height;
        };
        std::vector<Placed> placed;
        int x = area.left();
        int rowHeight = 0;
        for (const int index : row) {
            QLayoutItem* item = itemAt(index);
            if (!item || item->isEmpty()) {
                continue;
            }
            if (!placed.empty()) {
                x += horizontalSpacing_;
            }
            // Past the edge an item gives up width down to its minimum.
            const int room = area.right() + 1 - x;
            const int width = std::min(item->sizeHint().width(), std::max(item->minimumSize().width(), room));
            const int height = item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
            placed.push_back({item, width, height});
            rowHeight = std::max(rowHeight, height);
            x += width;
        }
        if (placed.empty()) {
            continue;
        }
        if (!firstRow) {
            y += verticalSpacing_;
        }
        firstRow = false;
        if (apply) {
            int left = area.left();
            for (const Placed& p : placed) {
                p.item->setGeometry(QRect(left, y + (rowHeight - p.height) / 2, p.width, p.height));
                left += p.width + horizontalSpacing_;
            }
        }
        y += rowHeight;
    }
    return y - area.top();
}

int FirstFitLayout::heightOf(const Arrangement& arrangement, int innerWidth) const {
    return place(arrangement, QRect(0, 0, std::max(innerWidth, 0), 0), false);
}

int FirstFitLayout::arrangementForWidth(int width) const {
    if (arrangements_.empty()) {
        return 0;
    }
    const QMargins margins = contentsMargins();
    const int inner = width - margins.left() - margins.right();
    for (std::size_t i = 0; i < arrangements_.size(); ++i) {
        if (widthOf(arrangements_[i], &QLayoutItem::sizeHint) <= inner) {
            return static_cast<int>(i);
        }
    }
    return static_cast<int>(arrangements_.size()) - 1;
}

QSize FirstFitLayout::sizeHint() const {
    const QMargins margins = contentsMargins();
    if (arrangements_.empty()) {
        return {margins.left() + margins.right(), margins.top() + margins.bottom()};
    }
    const int width = widthOf(arrangements_.front(), &QLayoutItem::sizeHint);
    return {width + margins.left() + margins.right(),
            heightOf(arrangements_.front(), width) + margins.top() + margins.bottom()};
}

QSize FirstFitLayout::minimumSize() const {
    const QMargins margins = contentsMargins();
    if (arrangements_.empty()) {
        return {margins.left() + margins.right(), margins.top() + margins.bottom()};
    }
    // The last arrangement, each item at its minimum.
    const int widest = widthOf(arrangements_.back(), &QLayoutItem::minimumSize);
    return {widest + margins.left() + margins.right(),
            heightOf(arrangements_.back(), widest) + margins.top() + margins.bottom()};
}

int FirstFitLayout::heightForWidth(int width) const {
    if (arrangements_.empty()) {
        return 0;
    }
    const QMargins margins = contentsMargins();
    const int inner = width - margins.left() - margins.right();
    return heightOf(arrangements_[static_cast<std::size_t>(arrangementForWidth(width))], inner) + margins.top() +
           margins.bottom();
}

void FirstFitLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    if (arrangements_.empty()) {
        return;
    }
    current_ = arrangementForWidth(rect.width());
    place(arrangements_[static_cast<std::size_t>(current_)], rect.marginsRemoved(contentsMargins()), true);
}

}  // namespace nudgerly
