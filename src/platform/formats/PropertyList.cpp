#include "platform/formats/PropertyList.h"

#include <cstdlib>
#include <limits>

#include "core/Text.h"
#include "core/UserFacingError.h"

namespace nudgerly::PropertyList {
namespace {

using std::chrono::microseconds;

constexpr int64_t microsecondsPerSecond = 1'000'000;
// 2001-01-01 00:00:00 UTC, where property-list dates count from.
constexpr int64_t referenceDateUnixSeconds = 978'307'200;

// Microseconds since 2001 as libplist's (seconds, microseconds) pair, seconds rounded down so the
// microsecond part is never negative.
Node dateFromReferenceMicroseconds(int64_t sinceReference) {
    int64_t seconds = sinceReference / microsecondsPerSecond;
    int64_t fraction = sinceReference % microsecondsPerSecond;
    if (fraction < 0) {
        seconds -= 1;
        fraction += microsecondsPerSecond;
    }
    if (seconds < std::numeric_limits<int32_t>::min() || seconds > std::numeric_limits<int32_t>::max()) {
        return nullptr;
    }
    return Node(plist_new_date(static_cast<int32_t>(seconds), static_cast<int32_t>(fraction)));
}

}  // namespace

Node parse(std::string_view bytes, const PropertyListLimits& limits) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max() ||
        !fitsPropertyListLimits(bytes, limits)) {
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    return Node(root);
}

std::string toBinary(plist_t root) {
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    if (bytes == nullptr || length == 0) {
        std::free(bytes);
        throw UserFacingError("The property list could not be encoded.");
    }
    std::string result(bytes, length);
    plist_to_bin_free(bytes);
    return result;
}

Node makeDate(Microseconds time) {
    const int64_t sinceReference = time.time_since_epoch().count() - referenceDateUnixSeconds * microsecondsPerSecond;
    return dateFromReferenceMicroseconds(sinceReference);
}

std::optional<Microseconds> dateValue(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_DATE) {
        return std::nullopt;
    }
    // libplist hands the date out with its microseconds cut off rather than rounded, so the value
    // read can lie one microsecond below the one written (and, before 2001, the sign sits on the
    // seconds only). Try the few microseconds around it and keep the one whose date node is exactly
    // this node's.
    int32_t seconds = 0;
    int32_t fraction = 0;
    plist_get_date_val(node, &seconds, &fraction);
    const int64_t whole = int64_t{seconds} * microsecondsPerSecond;
    for (const int64_t base : {whole + fraction, whole - fraction}) {
        for (const int64_t offset : {0, 1, -1}) {
            const Node candidate = dateFromReferenceMicroseconds(base + offset);
            if (candidate && plist_compare_node_value(node, candidate.get())) {
                return Microseconds(microseconds(base + offset + referenceDateUnixSeconds * microsecondsPerSecond));
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> stringValue(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    // By pointer and length: libplist's copying getter aborts on a string with a NUL inside, which a
    // hostile file can hold.
    uint64_t length = 0;
    const char* value = plist_get_string_ptr(node, &length);
    if (value == nullptr) {
        return std::nullopt;
    }
    return text::makeValidUtf8(std::string_view(value, length));
}

std::optional<int64_t> integerValue(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_UINT) {
        return std::nullopt;
    }
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return static_cast<int64_t>(value);
}

std::optional<uint64_t> uidValue(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_UID) {
        return std::nullopt;
    }
    uint64_t value = 0;
    plist_get_uid_val(node, &value);
    return value;
}

void forEachEntry(plist_t dictionary, const std::function<void(const std::string& key, plist_t value)>& visit) {
    if (dictionary == nullptr || plist_get_node_type(dictionary) != PLIST_DICT) {
        return;
    }
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dictionary, &iterator);
    const std::unique_ptr<void, decltype(&std::free)> ownedIterator(iterator, &std::free);
    if (iterator == nullptr) {
        return;
    }
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, iterator, &key, &value);
        const std::unique_ptr<char, decltype(&std::free)> ownedKey(key, &std::free);
        if (value == nullptr) {
            break;
        }
        visit(key ? text::makeValidUtf8(key) : std::string(), value);
    }
}

}  // namespace nudgerly::PropertyList
