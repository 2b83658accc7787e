#include "platform/formats/TypedStreamReader.h"

#include <charconv>
#include <limits>

#include "core/Text.h"

namespace nudgerly {
namespace {

// Bytes with a meaning of their own; every other byte is a small integer written as itself.
constexpr int8_t tagInteger2 = -127;
constexpr int8_t tagInteger4 = -126;
constexpr int8_t tagFloatingPoint = -125;
constexpr int8_t tagNew = -124;
constexpr int8_t tagNil = -123;
constexpr int8_t tagEndOfObject = -122;
constexpr int8_t firstTag = -128;
constexpr int8_t lastTag = -111;
// A back-reference n is written as the integer n + firstReference.
constexpr int64_t firstReference = lastTag + 1;

constexpr std::string_view signature = "streamtyped";  // the little-endian form
constexpr char streamerVersion = 4;

// Objects inside objects and types inside types; real message bodies nest three or four deep.
constexpr int maximumDepth = 64;

// Thrown inside the reader for any damage; rootText turns it into "no text".
struct Malformed {};

constexpr std::string_view scalarCodes = "cCsSiIlLqQfd*%:+#@";

bool isSignedInteger(char code) {
    return code == 'c' || code == 's' || code == 'i' || code == 'l' || code == 'q';
}
bool isInteger(char code) {
    return std::string_view("cCsSiIlLqQ").find(code) != std::string_view::npos;
}

std::size_t saturatingAdd(std::size_t a, std::size_t b) {
    return a > std::numeric_limits<std::size_t>::max() - b ? std::numeric_limits<std::size_t>::max() : a + b;
}

std::size_t saturatingMultiply(std::size_t a, std::size_t b) {
    return b != 0 && a > std::numeric_limits<std::size_t>::max() / b ? std::numeric_limits<std::size_t>::max() : a * b;
}

}  // namespace

struct TypedStreamReader::Type {
    char code = 0;                 // '[' for an array, '{' for a struct
    std::size_t count = 0;         // elements of an array
    std::vector<Type> members;     // the element of an array; the fields of a struct
    std::size_t minimumBytes = 1;  // the fewest bytes a value of this type takes in the stream
};

// Encoding strings: "iI", "@", "[16c]", "{_NSRange=QQ}", "{?}".
class TypedStreamReader::EncodingParser {
public:
    explicit EncodingParser(std::string_view text) : text_(text) {}

    std::vector<Type> all() {
        std::vector<Type> types;
        while (position_ < text_.size()) {
            types.push_back(one(0));
        }
        return types;
    }

private:
    Type one(int depth) {
        if (depth > maximumDepth || position_ >= text_.size()) {
            throw Malformed{};
        }
        Type type;
        type.code = text_[position_++];
        if (type.code == '[') {
            const char* begin = text_.data() + position_;
            const char* end = text_.data() + text_.size();
            const auto [next, error] = std::from_chars(begin, end, type.count);
            if (error != std::errc() || next == begin) {
                throw Malformed{};
            }
            position_ += static_cast<std::size_t>(next - begin);
            type.members.push_back(one(depth + 1));
            expect(']');
            type.minimumBytes = isByte(type.members.front())
                                    ? type.count
                                    : saturatingMultiply(type.count, type.members.front().minimumBytes);
        } else if (type.code == '{') {
            // The name runs up to "=" (fields follow) or "}" (an opaque struct without fields).
            const auto nameEnd = text_.find_first_of("=}", position_);
            if (nameEnd == std::string_view::npos) {
                throw Malformed{};
            }
            position_ = nameEnd;
            type.minimumBytes = 0;
            if (text_[position_] == '=') {
                ++position_;
                while (position_ < text_.size() && text_[position_] != '}') {
                    type.members.push_back(one(depth + 1));
                    type.minimumBytes = saturatingAdd(type.minimumBytes, type.members.back().minimumBytes);
                }
            }
            expect('}');
        } else if (scalarCodes.find(type.code) == std::string_view::npos) {
            throw Malformed{};
        }
        return type;
    }

    static bool isByte(const Type& type) { return type.code == 'c' || type.code == 'C'; }

    void expect(char character) {
        if (position_ >= text_.size() || text_[position_] != character) {
            throw Malformed{};
        }
        ++position_;
    }

    std::string_view text_;
    std::size_t position_ = 0;
};

std::optional<std::string> TypedStreamReader::rootText(std::string_view archive) {
    const auto characters = rootCharacters(archive);
    if (!characters) {
        return std::nullopt;
    }
    return text::makeValidUtf8(*characters);
}

std::optional<std::string_view> TypedStreamReader::rootCharacters(std::string_view archive) {
    return TypedStreamReader(archive).readRootCharacters();
}

std::optional<std::string_view> TypedStreamReader::readRootCharacters() {
    try {
        readHeader();
        const std::vector<Type> rootTypes = readEncoding(readHead());
        if (rootTypes.empty() || rootTypes.front().code != '@') {
            return std::nullopt;
        }
        if (readHead() != tagNew) {
            return std::nullopt;  // a nil root, or a reference with nothing to refer to
        }
        const std::size_t root = readNewObject();
        if (isString(root)) {
            readObjectContents(root, 1, true);
        } else if (classChainHas(objectEntry(root).classEntry, "NSAttributedString", "NSMutableAttributedString")) {
            readAttributedStringText(root);
        }
        return objectEntry(root).text;
    } catch (const Malformed&) {
        return std::nullopt;
    }
}

void TypedStreamReader::readAttributedStringText(std::size_t attributedString) {
    // The characters are the first string object among the attributed string's values.
    for (int8_t head = readHead(); head != tagEndOfObject; head = readHead()) {
        for (const Type& type : readEncoding(head)) {
            if (type.code != '@') {
                readValue(type, 1);
                continue;
            }
            const auto object = readObject(readHead(), 1, true);
            if (object && isString(*object) && objectEntry(*object).text) {
                objectEntry(attributedString).text = objectEntry(*object).text;
                return;
            }
        }
    }
}

void TypedStreamReader::readHeader() {
    if (take(1).front() != streamerVersion) {
        throw Malformed{};
    }
    if (readUnsharedString(readHead()) != signature) {
        throw Malformed{};
    }
    readInteger(readHead(), true);  // the system version
}

int8_t TypedStreamReader::readHead() {
    return static_cast<int8_t>(take(1).front());
}

std::string_view TypedStreamReader::take(std::size_t count) {
    return takeBefore(preambleEnd_, count);
}

std::string_view TypedStreamReader::takeCharacters(std::size_t count) {
    return takeBefore(bytes_.size(), count);
}

std::string_view TypedStreamReader::takeBefore(std::size_t end, std::size_t count) {
    if (offset_ > end || count > end - offset_) {
        throw Malformed{};
    }
    const std::string_view result = bytes_.substr(offset_, count);
    offset_ += count;
    return result;
}

int64_t TypedStreamReader::readInteger(int8_t head, bool isSigned) {
    const auto littleEndian = [this](std::size_t size) {
        uint64_t value = 0;
        const std::string_view bytes = take(size);
        for (std::size_t index = size; index-- > 0;) {
            value = (value << 8) | static_cast<uint8_t>(bytes[index]);
        }
        return value;
    };
    if (head == tagInteger2) {
        const auto value = static_cast<uint16_t>(littleEndian(2));
        return isSigned ? int64_t{static_cast<int16_t>(value)} : int64_t{value};
    }
    if (head == tagInteger4) {
        const auto value = static_cast<uint32_t>(littleEndian(4));
        return isSigned ? int64_t{static_cast<int32_t>(value)} : int64_t{value};
    }
    if (head >= firstTag && head <= lastTag) {
        throw Malformed{};
    }
    return head;
}

std::size_t TypedStreamReader::readLength(int8_t head) {
    const int64_t length = readInteger(head, false);
    if (length < 0) {
        throw Malformed{};
    }
    return static_cast<std::size_t>(length);
}

std::size_t TypedStreamReader::readReference(int8_t head) {
    const int64_t reference = readInteger(head, true) - firstReference;
    if (reference < 0) {
        throw Malformed{};
    }
    return static_cast<std::size_t>(reference);
}

std::optional<std::string_view> TypedStreamReader::readSharedString(int8_t head) {
    if (head == tagNil) {
        return std::nullopt;
    }
    if (head == tagNew) {
        sharedStrings_.push_back(take(readLength(readHead())));
        return sharedStrings_.back();
    }
    const std::size_t reference = readReference(head);
    if (reference >= sharedStrings_.size()) {
        throw Malformed{};
    }
    return sharedStrings_[reference];
}

std::optional<std::string_view> TypedStreamReader::readUnsharedString(int8_t head) {
    if (head == tagNil) {
        return std::nullopt;
    }
    return take(readLength(head));
}

std::vector<TypedStreamReader::Type> TypedStreamReader::readEncoding(int8_t head) {
    const auto encoding = readSharedString(head);
    if (!encoding || encoding->empty()) {
        throw Malformed{};
    }
    return EncodingParser(*encoding).all();
}

std::optional<std::size_t> TypedStreamReader::readClass(int8_t head) {
    // A class is written with its superclasses, most derived first, up to nil or to a class written
    // before. Classes new in this chain may not be named by it again, so no chain can loop.
    const std::size_t chainStart = entries_.size();
    std::optional<std::size_t> first;
    std::optional<std::size_t> previous;
    for (;; head = readHead()) {
        std::optional<std::size_t> current;
        if (head == tagNew) {
            const auto name = readSharedString(readHead());
            if (!name) {
                throw Malformed{};
            }
            readInteger(readHead(), true);  // the class version
            current = entries_.size();
            entries_.emplace_back(ClassEntry{.name = *name});
        } else if (head != tagNil) {
            const std::size_t reference = readReference(head);
            if (reference >= (previous ? chainStart : entries_.size()) ||
                !std::holds_alternative<ClassEntry>(entries_[reference])) {
                throw Malformed{};
            }
            current = reference;
        }
        if (previous) {
            std::get<ClassEntry>(entries_[*previous]).superclass = current;
        }
        if (!first) {
            first = current;
        }
        if (head != tagNew) {
            return first;
        }
        previous = current;
    }
}

std::optional<std::size_t> TypedStreamReader::readObject(int8_t head, int depth, bool stopAtText) {
    if (head == tagNil) {
        return std::nullopt;
    }
    if (head != tagNew) {
        const std::size_t reference = readReference(head);
        if (reference >= entries_.size() || !std::holds_alternative<ObjectEntry>(entries_[reference])) {
            throw Malformed{};
        }
        return reference;
    }
    if (depth > maximumDepth) {
        throw Malformed{};
    }
    const std::size_t object = readNewObject();
    readObjectContents(object, depth + 1, stopAtText);
    return object;
}

std::size_t TypedStreamReader::readNewObject() {
    // The object takes its place in the table before its class, as the writer numbered them.
    const std::size_t object = entries_.size();
    entries_.emplace_back(ObjectEntry{});
    const auto objectClass = readClass(readHead());
    if (!objectClass) {
        throw Malformed{};
    }
    objectEntry(object).classEntry = *objectClass;
    return object;
}

void TypedStreamReader::readObjectContents(std::size_t object, int depth, bool stopAtText) {
    const bool string = isString(object);
    for (int8_t head = readHead(); head != tagEndOfObject; head = readHead()) {
        for (const Type& type : readEncoding(head)) {
            if (type.code == '+' && string && !objectEntry(object).text) {
                const int8_t lengthHead = readHead();
                objectEntry(object).text =
                    lengthHead == tagNil ? std::string_view() : takeCharacters(readLength(lengthHead));
                if (stopAtText) {
                    return;
                }
            } else {
                readValue(type, depth);
            }
        }
    }
}

void TypedStreamReader::readCString(int8_t head) {
    // C strings are shared twice: the characters in the string table, the string in the entry table.
    if (head == tagNil) {
        return;
    }
    if (head == tagNew) {
        if (!readSharedString(readHead())) {
            throw Malformed{};
        }
        entries_.emplace_back(CStringEntry{});
        return;
    }
    const std::size_t reference = readReference(head);
    if (reference >= entries_.size() || !std::holds_alternative<CStringEntry>(entries_[reference])) {
        throw Malformed{};
    }
}

void TypedStreamReader::readFloat(int8_t head, std::size_t size) {
    // Whole numbers are written as integers; others as the IEEE bytes after a tag.
    if (head == tagFloatingPoint) {
        take(size);
    } else {
        readInteger(head, true);
    }
}

void TypedStreamReader::readValue(const Type& type, int depth) {
    if (depth > maximumDepth) {
        throw Malformed{};
    }
    switch (type.code) {
        case '@': readObject(readHead(), depth, false); return;
        case '#': readClass(readHead()); return;
        case '*': readCString(readHead()); return;
        case '%':
        case ':': readSharedString(readHead()); return;
        case '+': readUnsharedString(readHead()); return;
        case 'f': readFloat(readHead(), 4); return;
        case 'd': readFloat(readHead(), 8); return;
        case '[': {
            const Type& element = type.members.front();
            if (element.code == 'c' || element.code == 'C') {
                take(type.count);  // arrays of bytes are written raw
                return;
            }
            if (element.minimumBytes == 0) {
                return;  // elements without content take no bytes, however many there are
            }
            if (type.minimumBytes > preambleLeft()) {
                throw Malformed{};
            }
            for (std::size_t index = 0; index < type.count; ++index) {
                readValue(element, depth + 1);
            }
            return;
        }
        case '{':
            for (const Type& member : type.members) {
                readValue(member, depth + 1);
            }
            return;
        default:
            if (!isInteger(type.code)) {
                throw Malformed{};
            }
            readInteger(readHead(), isSignedInteger(type.code));
            return;
    }
}

bool TypedStreamReader::classChainHas(std::size_t classEntry, std::string_view first, std::string_view second) const {
    std::optional<std::size_t> current = classEntry;
    // Chains cannot loop (see readClass); the bound only keeps that promise local.
    for (std::size_t steps = 0; current && steps <= entries_.size(); ++steps) {
        const auto& entry = std::get<ClassEntry>(entries_[*current]);
        if (entry.name == first || entry.name == second) {
            return true;
        }
        current = entry.superclass;
    }
    return false;
}

bool TypedStreamReader::isString(std::size_t object) const {
    return classChainHas(std::get<ObjectEntry>(entries_[object]).classEntry, "NSString", "NSMutableString");
}

}  // namespace nudgerly
