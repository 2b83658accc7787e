#pragma once

#include <QStyledItemDelegate>

namespace nudgerly {

// Draws a sidebar row: the symbol and label, and the count at the trailing edge in tertiary digits of
// one width; a section title as a small secondary caption.
class SidebarRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace nudgerly
