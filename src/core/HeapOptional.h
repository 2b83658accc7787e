#pragma once

#include <memory>
#include <optional>
#include <utility>

namespace nudgerly {

// An optional value kept on the heap, for a large member that most values leave empty: an empty one
// costs a pointer instead of the member's whole size, which counts in a queue of thousands of items.
// It behaves as std::optional does: copies copy the value, and == compares values.
template <typename T>
class HeapOptional {
public:
    HeapOptional() = default;
    // Implicit, as std::optional's are, so that the member is set as an optional one would be.
    HeapOptional(std::nullopt_t) {}
    HeapOptional(T value) : value_(std::make_unique<T>(std::move(value))) {}
    HeapOptional(std::optional<T> value) : value_(value ? std::make_unique<T>(std::move(*value)) : nullptr) {}

    HeapOptional(const HeapOptional& other) : value_(other ? std::make_unique<T>(*other) : nullptr) {}
    HeapOptional(HeapOptional&&) noexcept = default;
    HeapOptional& operator=(const HeapOptional& other) {
        if (this != &other) {
            value_ = other ? std::make_unique<T>(*other) : nullptr;
        }
        return *this;
    }
    HeapOptional& operator=(HeapOptional&&) noexcept = default;

    bool has_value() const { return value_ != nullptr; }
    explicit operator bool() const { return has_value(); }
    const T& operator*() const { return *value_; }
    const T* operator->() const { return value_.get(); }
    T* operator->() { return value_.get(); }

    friend bool operator==(const HeapOptional& a, const HeapOptional& b) {
        return a && b ? *a == *b : a.has_value() == b.has_value();
    }
    friend bool operator==(const HeapOptional& a, std::nullopt_t) { return !a; }

private:
    std::unique_ptr<T> value_;
};

}  // namespace nudgerly
