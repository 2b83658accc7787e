#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include <plist/plist.h>

#include "platform/formats/PropertyListLimits.h"

// Small helpers over libplist: owned nodes, parsing and binary encoding, and typed reads that say
// "absent" instead of guessing when a node has another type.
namespace nudgerly::PropertyList {

struct NodeDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<std::remove_pointer_t<plist_t>, NodeDeleter>;

using Microseconds = std::chrono::sys_time<std::chrono::microseconds>;

// A binary or XML property list; null when the bytes are neither, or go past the limits (checked
// before libplist parses anything). Every key of a tree parsed here reads safely.
Node parse(std::string_view bytes, const PropertyListLimits& limits = {});

// The binary form ("bplist00..."). Throws UserFacingError when libplist cannot encode the tree.
std::string toBinary(plist_t root);

// A date node. Property-list dates are seconds since 2001 held in a double, which cannot keep a
// file's nanoseconds; whole microseconds of present-day dates stay distinct in it and read back
// unchanged through dateValue. Null outside the years libplist can hold (about 1933 to 2069).
Node makeDate(Microseconds time);

// The date of a node written by makeDate (or any date that lies on a whole microsecond); absent for
// other nodes and other dates.
std::optional<Microseconds> dateValue(plist_t node);

// The whole string, NUL characters included, as valid UTF-8 (a list may hold any bytes).
std::optional<std::string> stringValue(plist_t node);
// Integers are stored as 64-bit two's complement.
std::optional<int64_t> integerValue(plist_t node);

// The index a keyed archive's reference node (a "UID") points at.
std::optional<uint64_t> uidValue(plist_t node);

// Calls `visit` for each key (as valid UTF-8) and value of a dictionary node, in stored order; nothing
// for other nodes.
// The dictionary must come from parse or from this program: libplist aborts on a key holding NUL.
void forEachEntry(plist_t dictionary, const std::function<void(const std::string& key, plist_t value)>& visit);

}  // namespace nudgerly::PropertyList
