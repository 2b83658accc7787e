#include "state/SearchTexts.h"

#include <cstring>

namespace nudgerly {

void SearchTexts::reserve(std::size_t items) {
    ends_.reserve(items);
}

void SearchTexts::add(std::string_view text) {
    text_ += text;
    ends_.push_back(text_.size());
}

std::string_view SearchTexts::at(std::size_t index) const {
    const std::size_t start = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(text_).substr(start, ends_[index] - start);
}

bool SearchTexts::contains(std::size_t index, std::string_view query) const {
    const std::string_view text = at(index);
    // glibc's memmem skips ahead where a naive find tries every place the first character occurs.
    return ::memmem(text.data(), text.size(), query.data(), query.size()) != nullptr;
}

}  // namespace nudgerly
