#include "chatdb/TypedStreamWriter.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <type_traits>

#include "core/Text.h"

namespace nudgerly::test {
namespace {

constexpr char tagInteger2 = '\x81';
constexpr char tagInteger4 = '\x82';
constexpr char tagFloatingPoint = '\x83';
constexpr char tagNew = '\x84';
constexpr char tagNil = '\x85';
constexpr char tagEndOfObject = '\x86';
constexpr int64_t firstReference = -110;

void appendLittleEndian(std::string& bytes, uint64_t value, std::size_t size) {
    for (std::size_t index = 0; index < size; ++index) {
        bytes.push_back(static_cast<char>((value >> (8 * index)) & 0xFF));
    }
}

bool isWholeInteger(double value) {
    return std::isfinite(value) && std::fabs(value) < 2'147'483'647.0 && value == std::trunc(value);
}

int classVersion(std::string_view name) {
    return name == "NSString" || name == "NSMutableString" ? 1 : 0;
}

}  // namespace

TypedStreamWriter::TypedStreamWriter() {
    bytes_.push_back('\x04');
    unsharedString("streamtyped");
    integer(1000);
}

TypedStreamWriter& TypedStreamWriter::integer(int64_t value) {
    if (value >= firstReference && value <= 127) {
        bytes_.push_back(static_cast<char>(value));
    } else if (value >= std::numeric_limits<int16_t>::min() && value <= std::numeric_limits<int16_t>::max()) {
        bytes_.push_back(tagInteger2);
        appendLittleEndian(bytes_, static_cast<uint64_t>(value), 2);
    } else {
        bytes_.push_back(tagInteger4);
        appendLittleEndian(bytes_, static_cast<uint64_t>(value), 4);
    }
    return *this;
}

TypedStreamWriter& TypedStreamWriter::unsignedInteger(uint64_t value) {
    if (value <= 127) {
        bytes_.push_back(static_cast<char>(value));
    } else if (value <= 0xFFFF) {
        bytes_.push_back(tagInteger2);
        appendLittleEndian(bytes_, value, 2);
    } else {
        bytes_.push_back(tagInteger4);
        appendLittleEndian(bytes_, value, 4);
    }
    return *this;
}

TypedStreamWriter& TypedStreamWriter::floatValue(float value) {
    return floatingPoint(value);
}

TypedStreamWriter& TypedStreamWriter::doubleValue(double value) {
    return floatingPoint(value);
}

template <typename Floating>
TypedStreamWriter& TypedStreamWriter::floatingPoint(Floating value) {
    if (isWholeInteger(value)) {
        return integer(static_cast<int32_t>(value));
    }
    bytes_.push_back(tagFloatingPoint);
    using Bits = std::conditional_t<sizeof(Floating) == 4, uint32_t, uint64_t>;
    appendLittleEndian(bytes_, std::bit_cast<Bits>(value), sizeof(Floating));
    return *this;
}

TypedStreamWriter& TypedStreamWriter::sharedString(std::string_view text) {
    if (const auto found = sharedStrings_.find(text); found != sharedStrings_.end()) {
        return integer(static_cast<int64_t>(found->second) + firstReference);
    }
    const std::size_t number = sharedStrings_.size();
    sharedStrings_.emplace(std::string(text), number);
    bytes_.push_back(tagNew);
    return unsharedString(text);
}

TypedStreamWriter& TypedStreamWriter::unsharedString(std::string_view bytes) {
    unsignedInteger(bytes.size());
    bytes_.append(bytes);
    return *this;
}

TypedStreamWriter& TypedStreamWriter::cString(std::string_view text) {
    if (const auto found = cStrings_.find(text); found != cStrings_.end()) {
        return reference(found->second);
    }
    bytes_.push_back(tagNew);
    sharedString(text);
    cStrings_.emplace(std::string(text), entries_++);
    return *this;
}

TypedStreamWriter& TypedStreamWriter::classChain(const std::vector<std::string>& chain) {
    for (const std::string& name : chain) {
        if (const auto found = classes_.find(name); found != classes_.end()) {
            return reference(found->second);
        }
        bytes_.push_back(tagNew);
        sharedString(name);
        integer(classVersion(name));
        classes_.emplace(name, entries_++);
    }
    return nil();
}

TypedStreamWriter& TypedStreamWriter::nil() {
    bytes_.push_back(tagNil);
    return *this;
}

TypedStreamWriter& TypedStreamWriter::raw(std::string_view bytes) {
    bytes_.append(bytes);
    return *this;
}

std::size_t TypedStreamWriter::beginObject(const std::vector<std::string>& chain) {
    bytes_.push_back(tagNew);
    const std::size_t entry = entries_++;
    classChain(chain);
    return entry;
}

TypedStreamWriter& TypedStreamWriter::endObject() {
    bytes_.push_back(tagEndOfObject);
    return *this;
}

TypedStreamWriter& TypedStreamWriter::reference(std::size_t entry) {
    return integer(static_cast<int64_t>(entry) + firstReference);
}

std::vector<std::string> stringClasses(bool isMutable) {
    if (isMutable) {
        return {"NSMutableString", "NSString", "NSObject"};
    }
    return {"NSString", "NSObject"};
}

std::vector<std::string> attributedStringClasses(bool isMutable) {
    if (isMutable) {
        return {"NSMutableAttributedString", "NSAttributedString", "NSObject"};
    }
    return {"NSAttributedString", "NSObject"};
}

std::string archivedAttributedString(const ArchivedAttributedString& contents) {
    TypedStreamWriter writer;
    writer.encoding("@");
    writer.beginObject(attributedStringClasses(contents.mutableClasses));
    writer.encoding("@");
    writer.beginObject(stringClasses(contents.mutableClasses));
    writer.encoding("+").unsharedString(contents.text).endObject();

    std::optional<std::size_t> keyObject;
    int64_t runNumber = 0;
    for (const int64_t length : contents.runLengths) {
        ++runNumber;
        writer.encoding("iI").integer(runNumber);
        writer.unsignedInteger(length >= 0 ? static_cast<uint64_t>(length)
                                           : static_cast<uint64_t>(text::toUnicode(contents.text).length()));
        writer.encoding("@");
        writer.beginObject({"NSDictionary", "NSObject"});
        writer.encoding("i").integer(1);
        writer.encoding("@");
        if (keyObject) {
            writer.reference(*keyObject);
        } else {
            keyObject = writer.beginObject(stringClasses());
            writer.encoding("+").unsharedString("__kIMMessagePartAttributeName").endObject();
        }
        writer.encoding("@");
        writer.beginObject({"NSNumber", "NSValue", "NSObject"});
        writer.encoding("*").cString("i");
        writer.encoding("i").integer(runNumber - 1);
        writer.endObject();
        writer.endObject();
    }
    writer.endObject();
    return writer.bytes();
}

std::string archivedString(std::string_view text, bool mutableClass) {
    TypedStreamWriter writer;
    writer.encoding("@");
    writer.beginObject(stringClasses(mutableClass));
    writer.encoding("+").unsharedString(text).endObject();
    return writer.bytes();
}

}  // namespace nudgerly::test
