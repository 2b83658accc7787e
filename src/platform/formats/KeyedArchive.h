#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/formats/PropertyList.h"

namespace nudgerly {

// A keyed archive (the property list a keyed archiver writes): "$objects", a flat array of objects
// that refer to each other by index ("UID" nodes), and "$top", which names the root. This reader
// hands out the objects and their fields; it never follows references on its own, so a caller that
// walks a chain of references decides how deep it goes and notices when one comes back around.
class KeyedArchive {
public:
    // Absent when the bytes are not a property list with an "$objects" array and a "$top" dictionary.
    static std::optional<KeyedArchive> parse(std::string_view bytes);

    // The object a reference in "$top" names, e.g. "root".
    std::optional<uint64_t> top(std::string_view key) const;

    // Number of entries in "$objects"; a reference at or beyond it is damage.
    uint64_t size() const { return count_; }

    // The object at an index; null when the index is out of range or names the "$null" placeholder.
    plist_t object(uint64_t index) const;

    // The "$classname" of an object's class; absent for objects that are not archived instances
    // (plain strings, numbers) and for damaged class references.
    std::optional<std::string> className(plist_t object) const;

    // One field of an archived instance: the raw node, absent when the object has no such key.
    plist_t field(plist_t object, std::string_view key) const;

private:
    explicit KeyedArchive(PropertyList::Node root);

    PropertyList::Node root_;
    plist_t objects_ = nullptr;
    uint32_t count_ = 0;
};

}  // namespace nudgerly
