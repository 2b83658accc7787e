#pragma once

#include <tuple>
#include <utility>

namespace nudgerly {

// One member of a value type that is part of its coded form, with its JSON key. A type lists its
// coded members once, as a tuple of these returned by `static constexpr auto codedFields()`; its JSON
// coding and every comparison of coded content are derived from that one table.
template <typename Owner, typename Value>
struct CodedField {
    using OwnerType = Owner;
    using ValueType = Value;

    const char* key;
    Value Owner::*member;
};

// Spelled out because clang 14 (the fuzz build) does not deduce aggregate template arguments.
template <typename Owner, typename Value>
CodedField(const char*, Value Owner::*) -> CodedField<Owner, Value>;

template <typename T>
concept HasCodedFields = requires {
    T::codedFields();
};

// Calls `visit(field)` for every coded field of T, in table order.
template <HasCodedFields T, typename Visitor>
constexpr void forEachCodedField(Visitor&& visit) {
    std::apply([&](const auto&... field) { (visit(field), ...); }, T::codedFields());
}

// True when `test(field)` holds for every coded field of T (stops at the first that does not).
template <HasCodedFields T, typename Predicate>
constexpr bool allCodedFields(Predicate&& test) {
    return std::apply([&](const auto&... field) { return (test(field) && ...); }, T::codedFields());
}

}  // namespace nudgerly
