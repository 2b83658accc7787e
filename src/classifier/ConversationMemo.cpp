#include "classifier/ConversationMemo.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

namespace nudgerly {
namespace {

// Whether two values encode alike. Dates are compared bit for bit: 0 and -0 encode differently.
template <typename T>
bool sameCoded(const T& a, const T& b);

bool sameValue(Date a, Date b) {
    return std::bit_cast<uint64_t>(a.secondsSinceReferenceDate) == std::bit_cast<uint64_t>(b.secondsSinceReferenceDate);
}

template <typename T>
bool sameValue(const T& a, const T& b) {
    if constexpr (HasCodedFields<T>) {
        return sameCoded(a, b);
    } else {
        return a == b;
    }
}

template <typename T>
bool sameValue(const std::optional<T>& a, const std::optional<T>& b) {
    return a.has_value() == b.has_value() && (!a || sameValue(*a, *b));
}

template <typename T>
bool sameValue(const std::vector<T>& a, const std::vector<T>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const T& x, const T& y) { return sameValue(x, y); });
}

template <typename T>
bool sameCoded(const T& a, const T& b) {
    return allCodedFields<T>([&](const auto& field) { return sameValue(a.*field.member, b.*field.member); });
}

// A copy of only what is coded; the rest stays default.
template <typename T>
T codedCopy(const T& value);

template <typename T>
T codedValue(const T& value) {
    if constexpr (HasCodedFields<T>) {
        return codedCopy(value);
    } else {
        return value;
    }
}

template <typename T>
std::vector<T> codedValue(const std::vector<T>& values) {
    std::vector<T> copy;
    copy.reserve(values.size());
    for (const T& value : values) {
        copy.push_back(codedValue(value));
    }
    return copy;
}

template <typename T>
T codedCopy(const T& value) {
    T copy{};
    forEachCodedField<T>([&](const auto& field) { copy.*field.member = codedValue(value.*field.member); });
    return copy;
}

}  // namespace

ConversationMemo::Derived* ConversationMemo::reuse(const Conversation& conversation) {
    const auto source = current_.find(conversation.source);
    if (source == current_.end()) {
        return nullptr;
    }
    const auto entry = source->second.find(conversation.id);
    if (entry == source->second.end() || !sameCoded(entry->second.coded, conversation)) {
        return nullptr;
    }
    // The entry's node moves over whole: an unchanged refresh copies and allocates nothing.
    auto& next = next_[conversation.source];
    next.erase(conversation.id);  // a duplicate id in the batch: the later one wins
    const auto kept = next.insert(source->second.extract(entry)).position;
    return &kept->second.derived;
}

ConversationMemo::Derived* ConversationMemo::remember(const Conversation& conversation, std::string fingerprint) {
    auto [kept, inserted] = next_[conversation.source].insert_or_assign(
        conversation.id, Entry{codedCopy(conversation), Derived{std::move(fingerprint), std::nullopt, std::nullopt}});
    return &kept->second.derived;
}

void ConversationMemo::finishRun() {
    for (auto& [source, entries] : next_) {
        current_[source] = std::move(entries);
    }
    next_.clear();
}

}  // namespace nudgerly
