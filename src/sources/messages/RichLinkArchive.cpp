#include "sources/messages/RichLinkArchive.h"

#include <set>
#include <string>
#include <utility>

#include "core/Text.h"
#include "platform/formats/KeyedArchive.h"
#include "platform/formats/Url.h"

namespace nudgerly::RichLinkArchive {
namespace {

// A URL relative to a URL relative to ...: real ones have one base at most.
constexpr std::size_t maximumUrlChain = 16;

// Thrown for a reference that leads nowhere, loops or names the wrong kind of object.
struct Malformed {};

class MetadataReader {
public:
    explicit MetadataReader(const KeyedArchive& archive) : archive_(archive) {}

    // The object a reference field names; null for "$null".
    plist_t referenced(plist_t field) const {
        const auto index = PropertyList::uidValue(field);
        if (!index || *index >= archive_.size()) {
            throw Malformed{};
        }
        return archive_.object(*index);
    }

    // A string field: the string itself, a reference to one, or a reference to an archived string.
    std::optional<std::string> string(plist_t object, std::string_view key) const {
        return stringValue(archive_.field(object, key));
    }

    // A URL field: an archived URL (its relative part resolved against its base) or a plain string.
    std::optional<std::string> urlText(plist_t object, std::string_view key) const {
        std::set<plist_t> visited;
        return urlValue(archive_.field(object, key), visited);
    }

private:
    // What a field holds: a string (in place, or referred to), or else the object it refers to
    // (null for none).
    struct Resolved {
        std::optional<std::string> string;
        plist_t object = nullptr;
    };

    Resolved resolve(plist_t field) const {
        if (field == nullptr) {
            return {};
        }
        if (auto direct = PropertyList::stringValue(field)) {
            return {.string = std::move(direct)};
        }
        const plist_t object = referenced(field);
        if (auto plain = PropertyList::stringValue(object)) {
            return {.string = std::move(plain)};
        }
        return {.object = object};
    }

    std::optional<std::string> stringValue(plist_t field) const {
        Resolved resolved = resolve(field);
        if (resolved.string || resolved.object == nullptr) {
            return std::move(resolved.string);
        }
        const auto className = archive_.className(resolved.object);
        if (className != "NSString" && className != "NSMutableString") {
            throw Malformed{};
        }
        auto characters = PropertyList::stringValue(archive_.field(resolved.object, "NS.string"));
        if (!characters) {
            throw Malformed{};
        }
        return characters;
    }

    std::optional<std::string> urlValue(plist_t field, std::set<plist_t>& visited) const {
        Resolved resolved = resolve(field);
        if (resolved.string || resolved.object == nullptr) {
            return std::move(resolved.string);
        }
        const plist_t object = resolved.object;
        if (archive_.className(object) != "NSURL" || !visited.insert(object).second ||
            visited.size() > maximumUrlChain) {
            throw Malformed{};
        }
        const auto relative = stringValue(archive_.field(object, "NS.relative"));
        if (!relative) {
            throw Malformed{};
        }
        const auto baseText = urlValue(archive_.field(object, "NS.base"), visited);
        if (!baseText) {
            return relative;
        }
        const auto base = Url::parse(*baseText);
        const auto resolvedUrl = base ? base->resolved(*relative) : std::nullopt;
        if (!resolvedUrl) {
            throw Malformed{};
        }
        return resolvedUrl->string();
    }

    const KeyedArchive& archive_;
};

}  // namespace

std::optional<MessageLinkPreview> preview(std::string_view payloadData) {
    const auto archive = KeyedArchive::parse(payloadData);
    if (!archive) {
        return std::nullopt;
    }
    try {
        const MetadataReader reader(*archive);
        const auto rootIndex = archive->top("root");
        const plist_t root = rootIndex ? archive->object(*rootIndex) : nullptr;
        if (archive->className(root) != "RichLink") {
            return std::nullopt;
        }
        const plist_t linkField = archive->field(root, "richLinkMetadata");
        const plist_t metadata = linkField ? reader.referenced(linkField) : nullptr;
        if (archive->className(metadata) != "LPLinkMetadata") {
            return std::nullopt;
        }
        auto text = reader.urlText(metadata, "URL");
        if (!text) {
            text = reader.urlText(metadata, "originalURL");
        }
        const auto url = text && text::isValidUtf8(*text) ? Url::parse(*text) : std::nullopt;
        if (!url || !url->host() || (url->scheme() != "http" && url->scheme() != "https")) {
            return std::nullopt;
        }
        const auto title = reader.string(metadata, "title");
        const std::string trimmedTitle = title ? text::trimmed(text::makeValidUtf8(*title)) : std::string();
        const std::string& host = *url->host();
        return MessageLinkPreview{
            .title = trimmedTitle.empty() ? std::nullopt : std::optional(trimmedTitle),
            .domain = host.starts_with("www.") ? host.substr(4) : host,
            .url = url->string(),
        };
    } catch (const Malformed&) {
        return std::nullopt;
    }
}

}  // namespace nudgerly::RichLinkArchive
