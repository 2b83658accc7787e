#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nudgerly {

// The lowercased search texts of a snapshot's items, one after another in one buffer, so that a search
// of thousands of items reads one stretch of memory instead of a string apiece.
class SearchTexts {
public:
    void reserve(std::size_t items);
    void add(std::string_view text);

    std::size_t size() const { return ends_.size(); }
    std::string_view at(std::size_t index) const;
    // Whether the text at `index` holds `query` (which is not empty).
    bool contains(std::size_t index, std::string_view query) const;

    friend bool operator==(const SearchTexts&, const SearchTexts&) = default;

private:
    std::string text_;
    std::vector<std::size_t> ends_;
};

}  // namespace nudgerly
