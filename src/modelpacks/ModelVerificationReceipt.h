#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/formats/PropertyList.h"

namespace nudgerly {

// The record left beside a verified model file, so later checks can trust the file from its size and
// modification time instead of hashing it again. Stored as a binary property list with the keys
// "identifier", "filename", "byteCount", "sha256" and "modificationDate".
struct ModelVerificationReceipt {
    // A receipt is a few hundred bytes; a larger file is damaged and is not read or parsed.
    static constexpr std::size_t maximumSize = 64 * 1024;

    std::string identifier;
    std::string filename;
    int64_t byteCount = 0;
    std::string sha256;  // lower-case
    // The file's modification time cut to whole microseconds: the finest a property-list date keeps.
    PropertyList::Microseconds modificationDate;

    // Throws UserFacingError when the date lies outside the years a property-list date can hold.
    std::string binaryPropertyList() const;
    // Absent unless the bytes are a property list with all five keys of the right types.
    static std::optional<ModelVerificationReceipt> fromPropertyList(std::string_view bytes);

    friend bool operator==(const ModelVerificationReceipt&, const ModelVerificationReceipt&) = default;
};

}  // namespace nudgerly
