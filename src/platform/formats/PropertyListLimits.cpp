#include "platform/formats/PropertyListLimits.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace nudgerly {
namespace {

// The binary format: "bplist00", the objects, a table of object offsets, and a 32-byte trailer
// giving the widths of offsets and of object references, the object count, the top object and where
// the offset table starts. Collections hold references (object indexes); a marker byte's high nibble
// is the object's kind and its low nibble a count, 0xF meaning "an integer object follows".
constexpr std::string_view binaryMagic = "bplist00";
constexpr std::size_t trailerSize = 32;

constexpr unsigned kindInteger = 0x1;
constexpr unsigned kindAsciiString = 0x5;
constexpr unsigned kindUtf16String = 0x6;
constexpr unsigned kindArray = 0xA;
constexpr unsigned kindSet = 0xC;
constexpr unsigned kindDictionary = 0xD;

// A big-endian number of `width` bytes at `at`; absent when it does not lie inside the bytes.
std::optional<uint64_t> bigEndian(std::string_view bytes, uint64_t at, uint64_t width) {
    if (width == 0 || width > 8 || at > bytes.size() || width > bytes.size() - at) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (uint64_t i = 0; i < width; ++i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

struct ObjectHeader {
    unsigned kind = 0;
    uint64_t count = 0;
    uint64_t contentOffset = 0;  // first byte after the marker and its count
};

class BinaryList {
public:
    explicit BinaryList(std::string_view bytes) : bytes_(bytes) {}

    bool readTrailer() {
        if (bytes_.size() < binaryMagic.size() + trailerSize) {
            return false;
        }
        const uint64_t trailer = bytes_.size() - trailerSize;
        offsetSize_ = static_cast<unsigned char>(bytes_[trailer + 6]);
        referenceSize_ = static_cast<unsigned char>(bytes_[trailer + 7]);
        objectCount_ = *bigEndian(bytes_, trailer + 8, 8);
        topObject_ = *bigEndian(bytes_, trailer + 16, 8);
        offsetTable_ = *bigEndian(bytes_, trailer + 24, 8);
        return offsetSize_ >= 1 && offsetSize_ <= 8 && referenceSize_ >= 1 && referenceSize_ <= 8 &&
               objectCount_ >= 1 && objectCount_ <= bytes_.size() && topObject_ < objectCount_ &&
               offsetTable_ >= binaryMagic.size() && offsetTable_ <= trailer &&
               objectCount_ * offsetSize_ <= trailer - offsetTable_;
    }

    uint64_t topObject() const { return topObject_; }

    std::optional<ObjectHeader> header(uint64_t index) const {
        if (index >= objectCount_) {
            return std::nullopt;
        }
        const auto offset = bigEndian(bytes_, offsetTable_ + index * offsetSize_, offsetSize_);
        if (!offset || *offset < binaryMagic.size() || *offset >= offsetTable_) {
            return std::nullopt;
        }
        const unsigned marker = static_cast<unsigned char>(bytes_[*offset]);
        ObjectHeader result{.kind = marker >> 4u, .count = marker & 0xFu, .contentOffset = *offset + 1};
        if (result.count == 0xF &&
            (result.kind == kindAsciiString || result.kind == kindUtf16String || result.kind == kindArray ||
             result.kind == kindSet || result.kind == kindDictionary || result.kind == 0x4)) {
            const auto sizeMarker = bigEndian(bytes_, result.contentOffset, 1);
            if (!sizeMarker || (*sizeMarker >> 4u) != kindInteger || (*sizeMarker & 0xFu) > 3) {
                return std::nullopt;
            }
            const uint64_t width = uint64_t{1} << (*sizeMarker & 0xFu);
            const auto count = bigEndian(bytes_, result.contentOffset + 1, width);
            if (!count) {
                return std::nullopt;
            }
            result.count = *count;
            result.contentOffset += 1 + width;
        }
        return result;
    }

    // The `position`th reference of a collection whose references start at `at`.
    std::optional<uint64_t> reference(uint64_t at, uint64_t position) const {
        return bigEndian(bytes_, at + position * referenceSize_, referenceSize_);
    }

    // Whether the collection's `references` references lie inside the bytes.
    bool holdsReferences(const ObjectHeader& collection, uint64_t references) const {
        return collection.contentOffset <= bytes_.size() && references <= bytes_.size() &&
               references * referenceSize_ <= bytes_.size() - collection.contentOffset;
    }

    // A string object that libplist can read back as a key: ASCII or UTF-16 text without NUL.
    bool isUsableKey(uint64_t index) const {
        const auto key = header(index);
        if (!key || (key->kind != kindAsciiString && key->kind != kindUtf16String)) {
            return false;
        }
        const uint64_t unit = key->kind == kindUtf16String ? 2 : 1;
        if (key->count > bytes_.size() || key->contentOffset > bytes_.size() ||
            key->count * unit > bytes_.size() - key->contentOffset) {
            return false;
        }
        for (uint64_t i = 0; i < key->count; ++i) {
            const uint64_t at = key->contentOffset + i * unit;
            if (bytes_[at] == '\0' && (unit == 1 || bytes_[at + 1] == '\0')) {
                return false;
            }
        }
        return true;
    }

private:
    std::string_view bytes_;
    unsigned offsetSize_ = 0;
    unsigned referenceSize_ = 0;
    uint64_t objectCount_ = 0;
    uint64_t topObject_ = 0;
    uint64_t offsetTable_ = 0;
};

// Walks the tree as libplist would build it, shared objects once per reference, without recursion.
bool binaryFits(std::string_view bytes, const PropertyListLimits& limits) {
    BinaryList list(bytes);
    if (!list.readTrailer()) {
        return false;
    }
    std::vector<std::pair<uint64_t, std::size_t>> pending{{list.topObject(), 1}};
    std::size_t nodes = 1;
    while (!pending.empty()) {
        const auto [index, depth] = pending.back();
        pending.pop_back();
        const auto object = list.header(index);
        if (!object) {
            return false;
        }
        if (object->kind != kindArray && object->kind != kindSet && object->kind != kindDictionary) {
            continue;
        }
        if (depth > limits.maxDepth) {
            return false;
        }
        const bool isDictionary = object->kind == kindDictionary;
        const uint64_t references = isDictionary ? 2 * object->count : object->count;
        if (object->count > bytes.size() || !list.holdsReferences(*object, references) || nodes > limits.maxNodes ||
            references > limits.maxNodes - nodes) {
            return false;
        }
        nodes += static_cast<std::size_t>(references);
        const uint64_t firstValue = isDictionary ? object->count : 0;
        for (uint64_t position = 0; position < references; ++position) {
            const auto child = list.reference(object->contentOffset, position);
            if (!child) {
                return false;
            }
            if (position < firstValue) {
                if (!list.isUsableKey(*child)) {
                    return false;
                }
            } else {
                pending.emplace_back(*child, depth + 1);
            }
        }
    }
    return true;
}

// "&#0;", "&#x00;" and the like: a character reference to NUL.
bool startsWithNulReference(std::string_view text) {
    std::size_t at = 2;  // past "&#"
    if (at < text.size() && (text[at] == 'x' || text[at] == 'X')) {
        ++at;
    }
    const std::size_t digits = at;
    while (at < text.size() && text[at] == '0') {
        ++at;
    }
    return at > digits && at < text.size() && text[at] == ';';
}

// Counts elements and the nesting of arrays and dictionaries tag by tag. Comments, processing
// instructions, declarations and character data sections are skipped whole; text is not looked at
// beyond its character references.
bool xmlFits(std::string_view bytes, const PropertyListLimits& limits) {
    if (bytes.find('\0') != std::string_view::npos) {
        return false;
    }
    const auto skipPast = [&](std::size_t from, std::string_view end) {
        const std::size_t found = bytes.find(end, from);
        return found == std::string_view::npos ? found : found + end.size();
    };
    std::size_t depth = 0;
    std::size_t nodes = 0;
    std::size_t at = 0;
    while ((at = bytes.find_first_of("<&", at)) != std::string_view::npos) {
        const std::string_view rest = bytes.substr(at);
        if (rest.starts_with("&#")) {
            if (startsWithNulReference(rest)) {
                return false;
            }
            ++at;
            continue;
        }
        if (rest.front() == '&') {
            ++at;
            continue;
        }
        if (rest.starts_with("<!--")) {
            at = skipPast(at + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            at = skipPast(at + 9, "]]>");
        } else if (rest.starts_with("<?") || rest.starts_with("<!")) {
            at = skipPast(at + 2, ">");
        } else {
            const bool closing = rest.starts_with("</");
            const std::size_t nameStart = at + (closing ? 2 : 1);
            const std::size_t tagEnd = bytes.find('>', nameStart);
            if (tagEnd == std::string_view::npos) {
                return false;
            }
            const std::size_t nameEnd = std::min(bytes.find_first_of(" \t\r\n/>", nameStart), tagEnd);
            const std::string_view name = bytes.substr(nameStart, nameEnd - nameStart);
            const bool container = name == "array" || name == "dict";
            if (closing) {
                if (container && depth > 0) {
                    --depth;
                }
            } else {
                if (++nodes > limits.maxNodes) {
                    return false;
                }
                if (container && bytes[tagEnd - 1] != '/' && ++depth > limits.maxDepth) {
                    return false;
                }
            }
            at = tagEnd + 1;
        }
        if (at == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool fitsPropertyListLimits(std::string_view bytes, const PropertyListLimits& limits) {
    if (bytes.size() > limits.maxBytes) {
        return false;
    }
    return bytes.starts_with(binaryMagic) ? binaryFits(bytes, limits) : xmlFits(bytes, limits);
}

}  // namespace nudgerly
