#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Finding tags in mail text: exactly what the regular expression "<[^>]+>" matches, but in linear
// time. The expression itself backtracks quadratically over text with many "<" and no ">", which a
// hostile message can hold.
namespace nudgerly::MarkupTags {

// Byte offsets [start, end) of the leftmost match at or after `from`; absent when there is none.
std::optional<std::pair<std::size_t, std::size_t>> find(std::string_view text, std::size_t from = 0);

// Every match replaced by `replacement`.
std::string replacingAll(std::string_view text, std::string_view replacement);

}  // namespace nudgerly::MarkupTags
