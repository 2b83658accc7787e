#include "platform/net/DownloadResumeData.h"

#include <algorithm>

#include "core/Regex.h"
#include "platform/formats/PropertyList.h"

namespace nudgerly {
namespace {

constexpr const char* originalUrlKey = "OriginalURL";
constexpr const char* currentUrlKey = "CurrentURL";
constexpr const char* temporaryFileKey = "TemporaryFileName";
constexpr const char* validatorKey = "Validator";

}  // namespace

bool isTemporaryDownloadFileName(std::string_view name) {
    static const Regex pattern("^CFNetworkDownload_[A-Za-z0-9]+\\.tmp$");
    // The whole string must match: a search would also take "CFNetworkDownload_x.tmp\n".
    return pattern.matchesWhole(name);
}

std::string DownloadResumeData::encoded() const {
    const PropertyList::Node root(plist_new_dict());
    plist_dict_set_item(root.get(), originalUrlKey, plist_new_string(originalUrl.c_str()));
    plist_dict_set_item(root.get(), currentUrlKey, plist_new_string(currentUrl.c_str()));
    plist_dict_set_item(root.get(), temporaryFileKey, plist_new_string(temporaryFileName.c_str()));
    plist_dict_set_item(root.get(), validatorKey, plist_new_string(validator.c_str()));
    return PropertyList::toBinary(root.get());
}

std::optional<DownloadResumeData> DownloadResumeData::decode(std::string_view bytes) {
    const auto root = PropertyList::parse(bytes, {.maxBytes = maximumSize});
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return std::nullopt;
    }
    // Text with control characters is damage, never a real address or validator: it would be cut at
    // the first NUL when written again, and a line break would end the request header it goes into.
    const auto field = [&](const char* key) -> std::optional<std::string> {
        auto text = PropertyList::stringValue(plist_dict_get_item(root.get(), key));
        const auto isControl = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
        if (text && std::ranges::any_of(*text, isControl)) {
            return std::nullopt;
        }
        return text;
    };
    auto originalUrl = field(originalUrlKey);
    auto currentUrl = field(currentUrlKey);
    auto temporaryFileName = field(temporaryFileKey);
    auto validator = field(validatorKey);
    if (!originalUrl || !currentUrl || !temporaryFileName || !validator ||
        !isTemporaryDownloadFileName(*temporaryFileName) || validator->empty()) {
        return std::nullopt;
    }
    return DownloadResumeData{std::move(*originalUrl), std::move(*currentUrl), std::move(*temporaryFileName),
                              std::move(*validator)};
}

}  // namespace nudgerly
