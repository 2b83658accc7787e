#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "review/ReviewItem.h"
#include "review/ReviewSnapshot.h"

namespace nudgerly {

// A list of queue items in its order, as pointers into the published snapshots, which it keeps alive.
// Made once and never changed, so the screens that read the same state share one; reading an item
// copies nothing.
class QueueItems {
public:
    // Walks the items as `const ReviewItem&`.
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = ReviewItem;
        using difference_type = std::ptrdiff_t;
        using pointer = const ReviewItem*;
        using reference = const ReviewItem&;

        Iterator() = default;
        explicit Iterator(std::vector<const ReviewItem*>::const_iterator at) : at_(at) {}
        reference operator*() const { return **at_; }
        pointer operator->() const { return *at_; }
        Iterator& operator++() {
            ++at_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++at_;
            return before;
        }
        friend bool operator==(const Iterator&, const Iterator&) = default;

    private:
        std::vector<const ReviewItem*>::const_iterator at_;
    };

    QueueItems() = default;
    // `items` point into the items of `owners`.
    QueueItems(std::vector<const ReviewItem*> items, std::vector<std::shared_ptr<const ReviewSnapshot>> owners)
        : items_(std::move(items)), owners_(std::move(owners)) {}

    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const ReviewItem& operator[](std::size_t index) const { return *items_[index]; }
    const ReviewItem& front() const { return *items_.front(); }
    Iterator begin() const { return Iterator(items_.begin()); }
    Iterator end() const { return Iterator(items_.end()); }

    // The first item with `id`, or null.
    const ReviewItem* find(std::string_view id) const {
        for (const ReviewItem* item : items_) {
            if (item->id == id) {
                return item;
            }
        }
        return nullptr;
    }

    // The snapshots the items point into.
    const std::vector<std::shared_ptr<const ReviewSnapshot>>& owners() const { return owners_; }

    // Whether both list the same ids in the same order.
    bool sameIDs(const QueueItems& other) const {
        if (items_.size() != other.items_.size()) {
            return false;
        }
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (items_[i] != other.items_[i] && items_[i]->id != other.items_[i]->id) {
                return false;
            }
        }
        return true;
    }

private:
    std::vector<const ReviewItem*> items_;
    std::vector<std::shared_ptr<const ReviewSnapshot>> owners_;
};

}  // namespace nudgerly
