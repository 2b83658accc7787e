#include "chatdb/KeyedArchiveWriter.h"

#include <utility>

namespace nudgerly::test {

KeyedArchiveWriter::KeyedArchiveWriter() : objects_(plist_new_array()) {
    addString("$null");
}

uint64_t KeyedArchiveWriter::addValue(PropertyList::Node value) {
    plist_array_append_item(objects_.get(), value.release());
    return plist_array_get_size(objects_.get()) - 1;
}

uint64_t KeyedArchiveWriter::addString(std::string_view text) {
    return addValue(PropertyList::Node(plist_new_string(std::string(text).c_str())));
}

uint64_t KeyedArchiveWriter::addInstance(std::string_view className, const std::vector<std::string>& superclasses) {
    auto found = classes_.find(className);
    if (found == classes_.end()) {
        PropertyList::Node description(plist_new_dict());
        PropertyList::Node hierarchy(plist_new_array());
        plist_array_append_item(hierarchy.get(), plist_new_string(std::string(className).c_str()));
        for (const std::string& superclass : superclasses) {
            plist_array_append_item(hierarchy.get(), plist_new_string(superclass.c_str()));
        }
        plist_dict_set_item(description.get(), "$classes", hierarchy.release());
        plist_dict_set_item(description.get(), "$classname", plist_new_string(std::string(className).c_str()));
        found = classes_.emplace(std::string(className), addValue(std::move(description))).first;
    }
    PropertyList::Node instance(plist_new_dict());
    plist_dict_set_item(instance.get(), "$class", plist_new_uid(found->second));
    return addValue(std::move(instance));
}

void KeyedArchiveWriter::setReference(uint64_t instance, std::string_view key, uint64_t target) {
    setValue(instance, key, PropertyList::Node(plist_new_uid(target)));
}

void KeyedArchiveWriter::setValue(uint64_t instance, std::string_view key, PropertyList::Node value) {
    const plist_t object = plist_array_get_item(objects_.get(), static_cast<uint32_t>(instance));
    plist_dict_set_item(object, std::string(key).c_str(), value.release());
}

std::string KeyedArchiveWriter::archive(uint64_t root) const {
    const PropertyList::Node archive(plist_new_dict());
    plist_dict_set_item(archive.get(), "$version", plist_new_uint(100000));
    plist_dict_set_item(archive.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
    PropertyList::Node top(plist_new_dict());
    plist_dict_set_item(top.get(), "root", plist_new_uid(root));
    plist_dict_set_item(archive.get(), "$top", top.release());
    plist_dict_set_item(archive.get(), "$objects", plist_copy(objects_.get()));
    return PropertyList::toBinary(archive.get());
}

uint64_t addUrl(KeyedArchiveWriter& writer, std::string_view relative, uint64_t base) {
    const uint64_t url = writer.addInstance("NSURL");
    writer.setReference(url, "NS.base", base);
    writer.setReference(url, "NS.relative", writer.addString(relative));
    return url;
}

namespace {

void setUrl(KeyedArchiveWriter& writer, uint64_t metadata, std::string_view key,
            const std::optional<ArchivedUrl>& url) {
    if (!url) {
        return;
    }
    if (url->plainString) {
        writer.setReference(metadata, key, writer.addString(url->relative));
        return;
    }
    const uint64_t base = url->base ? addUrl(writer, *url->base) : KeyedArchiveWriter::null;
    writer.setReference(metadata, key, addUrl(writer, url->relative, base));
}

}  // namespace

std::string richLinkArchive(const ArchivedRichLink& link) {
    KeyedArchiveWriter writer;
    const uint64_t root = writer.addInstance(link.rootClass);
    writer.setValue(root, "richLinkIsPlaceholder", PropertyList::Node(plist_new_bool(0)));
    const uint64_t metadata = writer.addInstance(link.metadataClass);
    writer.setReference(root, "richLinkMetadata", metadata);
    writer.setValue(metadata, "version", PropertyList::Node(plist_new_uint(1)));
    setUrl(writer, metadata, "URL", link.url);
    setUrl(writer, metadata, "originalURL", link.originalURL);
    if (link.title) {
        writer.setReference(metadata, "title", writer.addString(*link.title));
    }
    const uint64_t image = writer.addInstance("RichLinkImageAttachmentSubstitute");
    writer.setValue(image, "richLinkImageAttachmentSubstituteIndex", PropertyList::Node(plist_new_uint(0)));
    writer.setReference(metadata, "image", image);
    return writer.archive(root);
}

}  // namespace nudgerly::test
