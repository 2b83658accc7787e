#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <QStyledItemDelegate>

#include "core/Date.h"
#include "ui/shared/RowPresentation.h"

namespace nudgerly {

class QueueListModel;
struct QueueListEntry;
struct ReviewItem;
struct ReviewSnapshot;

// Paints the queue list's rows: status headers, and items with the shared row painter on an inset,
// rounded selection. What a row paints is worked out when it is painted and kept by item id until the
// row changes; row heights are worked out here and kept per width until the row changes.
class QueueRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // Follows `model`'s changes, measuring changed rows again.
    explicit QueueRowDelegate(QueueListModel& model, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The age badge's tooltip: the item's date text.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // Has `view` repaint the rows it shows whose age reads otherwise at the model's moment.
    void showAges(QAbstractItemView& view) const;

    // Where a row's content is drawn within the row's rectangle.
    static QRect contentRect(const QRect& rowRect);
    // The width a row's content gets in a view whose viewport is `viewportWidth` wide.
    static int contentWidth(int viewportWidth);
    // How many row heights were worked out, for tests of the cache.
    int computedHeights() const { return computed_; }

private:
    // Measures changed rows again and has the view lay out anew when a height differs.
    void remeasure(const QModelIndex& first, const QModelIndex& last);

    // A row's height at `cachedWidth_`, with what it was measured from: the summary by its size and hash,
    // and the item object itself while the model's items stay in the same snapshots.
    struct Measured {
        const ReviewItem* item = nullptr;
        uint64_t ownersGeneration = 0;
        std::size_t summarySize = 0;
        std::size_t summaryHash = 0;
        bool age = false;
        bool status = false;
        int height = 0;
    };
    // What an item row paints, with what it was worked out from.
    struct Painted {
        const ReviewItem* item = nullptr;
        bool showsStatus = false;
        Date now;
        RowPresentation presentation;
    };

    int measure(const QueueListEntry& row) const;
    // The slot for the height of `row`'s item by its place in the snapshot holding it (0 until known),
    // or null when no snapshot of the model holds it.
    uint16_t* heightByPlace(const QueueListEntry& row) const;
    // The height of rows of one shape, laid out once per shape: with or without an age badge, with or
    // without a status badge, and with 0 to 2 summary lines.
    int heightOfShape(const QueueListEntry& row, int summaryLines) const;
    // What the item row paints now.
    const RowPresentation& presentation(const QueueListEntry& row) const;

    QueueListModel& model_;
    mutable int cachedWidth_ = -1;
    // By item id. Kept across new lists, so that a new order or filter of known items (every keystroke
    // of a search) measures nothing again.
    mutable std::unordered_map<std::string, Measured> heights_;
    std::size_t longestList_ = 0;
    // Heights by place in each snapshot the model's items point into, without and with the status
    // badge, for the model's owners generation `placesGeneration_`: laying out a list of thousands of
    // rows again then hashes no id.
    struct PlaceHeights {
        const ReviewSnapshot* snapshot = nullptr;
        std::vector<std::array<uint16_t, 2>> heights;
    };
    mutable std::vector<PlaceHeights> byPlace_;
    mutable std::optional<uint64_t> placesGeneration_;
    mutable std::array<int, 12> shapeHeights_{};  // 0: not laid out yet
    mutable int computed_ = 0;
    // By item id, for the rows painted lately.
    mutable std::unordered_map<std::string, Painted> painted_;
};

}  // namespace nudgerly
