#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/formats/PropertyList.h"

// Builders of keyed archives (as a keyed archiver writes them) on libplist, and of the rich-link
// payloads the Messages database keeps in `payload_data`, for tests and generated databases.
namespace nudgerly::test {

// "$objects" with the "$null" placeholder at index 0, instances that refer to each other by index,
// and "$top" naming the root. Nothing is checked: references may point anywhere, loops included.
class KeyedArchiveWriter {
public:
    static constexpr uint64_t null = 0;

    KeyedArchiveWriter();

    // Appends a plain value (a string, a number) and returns its index.
    uint64_t addValue(PropertyList::Node value);
    uint64_t addString(std::string_view text);
    // Appends an instance of the class (its class entry shared by name) and returns its index.
    uint64_t addInstance(std::string_view className, const std::vector<std::string>& superclasses = {"NSObject"});
    // Sets a field of an instance to a reference to any index, in range or not.
    void setReference(uint64_t instance, std::string_view key, uint64_t target);
    // Sets a field of an instance to a plain value.
    void setValue(uint64_t instance, std::string_view key, PropertyList::Node value);

    // The binary property list with `root` as "$top"'s "root".
    std::string archive(uint64_t root) const;

private:
    PropertyList::Node objects_;
    std::map<std::string, uint64_t, std::less<>> classes_;
};

// An archived URL: an "NSURL" instance whose "NS.relative" is resolved against its "NS.base" (none
// here: "$null"), or, with `plainString`, just the string.
struct ArchivedUrl {
    std::string relative;
    std::optional<std::string> base;
    bool plainString = false;
};

// Appends an "NSURL" instance with the given relative part and base (an index, or null).
uint64_t addUrl(KeyedArchiveWriter& writer, std::string_view relative, uint64_t base = KeyedArchiveWriter::null);

// A rich-link payload: a "RichLink" root whose "richLinkMetadata" is an "LPLinkMetadata" with the
// given fields, next to the image substitute and version fields Messages writes.
struct ArchivedRichLink {
    std::optional<ArchivedUrl> url;
    std::optional<ArchivedUrl> originalURL;
    std::optional<std::string> title;
    std::string rootClass = "RichLink";
    std::string metadataClass = "LPLinkMetadata";
};
std::string richLinkArchive(const ArchivedRichLink& link);

}  // namespace nudgerly::test
