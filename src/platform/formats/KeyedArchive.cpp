#include "platform/formats/KeyedArchive.h"

#include <utility>

namespace nudgerly {
namespace {

plist_t dictionaryItem(plist_t dictionary, std::string_view key) {
    if (dictionary == nullptr || plist_get_node_type(dictionary) != PLIST_DICT) {
        return nullptr;
    }
    return plist_dict_get_item(dictionary, std::string(key).c_str());
}

}  // namespace

KeyedArchive::KeyedArchive(PropertyList::Node root)
    : root_(std::move(root)),
      objects_(dictionaryItem(root_.get(), "$objects")),
      count_(plist_array_get_size(objects_)) {}

std::optional<KeyedArchive> KeyedArchive::parse(std::string_view bytes) {
    PropertyList::Node root = PropertyList::parse(bytes);
    const plist_t objects = dictionaryItem(root.get(), "$objects");
    const plist_t top = dictionaryItem(root.get(), "$top");
    if (objects == nullptr || plist_get_node_type(objects) != PLIST_ARRAY || top == nullptr ||
        plist_get_node_type(top) != PLIST_DICT) {
        return std::nullopt;
    }
    return KeyedArchive(std::move(root));
}

std::optional<uint64_t> KeyedArchive::top(std::string_view key) const {
    return PropertyList::uidValue(dictionaryItem(dictionaryItem(root_.get(), "$top"), key));
}

plist_t KeyedArchive::object(uint64_t index) const {
    if (index >= count_) {
        return nullptr;
    }
    const plist_t node = plist_array_get_item(objects_, static_cast<uint32_t>(index));
    if (PropertyList::stringValue(node) == "$null") {
        return nullptr;
    }
    return node;
}

std::optional<std::string> KeyedArchive::className(plist_t object) const {
    const auto classIndex = PropertyList::uidValue(dictionaryItem(object, "$class"));
    if (!classIndex) {
        return std::nullopt;
    }
    return PropertyList::stringValue(dictionaryItem(this->object(*classIndex), "$classname"));
}

plist_t KeyedArchive::field(plist_t object, std::string_view key) const {
    return dictionaryItem(object, key);
}

}  // namespace nudgerly
