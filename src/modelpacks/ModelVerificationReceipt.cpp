#include "modelpacks/ModelVerificationReceipt.h"

#include "core/UserFacingError.h"

namespace nudgerly {

std::string ModelVerificationReceipt::binaryPropertyList() const {
    PropertyList::Node date = PropertyList::makeDate(modificationDate);
    if (!date) {
        throw UserFacingError("The model file's modification date cannot be recorded.");
    }
    const PropertyList::Node root(plist_new_dict());
    plist_dict_set_item(root.get(), "identifier", plist_new_string(identifier.c_str()));
    plist_dict_set_item(root.get(), "filename", plist_new_string(filename.c_str()));
    plist_dict_set_item(root.get(), "byteCount", plist_new_uint(static_cast<uint64_t>(byteCount)));
    plist_dict_set_item(root.get(), "sha256", plist_new_string(sha256.c_str()));
    plist_dict_set_item(root.get(), "modificationDate", date.release());
    return PropertyList::toBinary(root.get());
}

std::optional<ModelVerificationReceipt> ModelVerificationReceipt::fromPropertyList(std::string_view bytes) {
    const PropertyList::Node root = PropertyList::parse(bytes, {.maxBytes = maximumSize});
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return std::nullopt;
    }
    auto item = [&](const char* key) { return plist_dict_get_item(root.get(), key); };
    auto identifier = PropertyList::stringValue(item("identifier"));
    auto filename = PropertyList::stringValue(item("filename"));
    const auto byteCount = PropertyList::integerValue(item("byteCount"));
    auto sha256 = PropertyList::stringValue(item("sha256"));
    const auto modificationDate = PropertyList::dateValue(item("modificationDate"));
    if (!identifier || !filename || !byteCount || !sha256 || !modificationDate) {
        return std::nullopt;
    }
    return ModelVerificationReceipt{
        .identifier = std::move(*identifier),
        .filename = std::move(*filename),
        .byteCount = *byteCount,
        .sha256 = std::move(*sha256),
        .modificationDate = *modificationDate,
    };
}

}  // namespace nudgerly
