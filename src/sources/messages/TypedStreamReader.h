#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace nudgerly {

// Reads the characters out of an object archived in the legacy typed-stream format (little-endian,
// "streamtyped"), the form in which the Messages database keeps many message bodies
// (`attributedBody`). Only strings are understood, but every value in front of the characters is
// walked past by the type the stream declares for it (objects, classes, C strings, integers, floats,
// arrays, structs), so any layout of classes, references and attribute runs works.
//
// The bytes come from a database copied from another machine: every read is bounds-checked, nesting
// is limited, and every reference must name an existing entry of the right kind. Any violation makes
// the archive unreadable; it never crashes or loops.
class TypedStreamReader {
public:
    // The characters of the root object when it is an attributed string or a string, made valid
    // UTF-8; absent for any other root and for damaged or truncated bytes. Reading stops at the
    // characters, so whatever follows them (the attribute runs) is never looked at.
    static std::optional<std::string> rootText(std::string_view archive);

private:
    explicit TypedStreamReader(std::string_view bytes) : bytes_(bytes) {}
    std::optional<std::string> readRootText();
    void readAttributedStringText(std::size_t attributedString);

    struct Type;  // one type of an encoding string
    class EncodingParser;

    struct ClassEntry {
        std::string_view name;
        std::optional<std::size_t> superclass;
    };
    struct ObjectEntry {
        std::size_t classEntry = 0;
        std::optional<std::string_view> text;  // the characters, once read, of a string object
    };
    struct CStringEntry {};
    // Objects, classes and C strings share one table of back-references, in the order they appear.
    using Entry = std::variant<ClassEntry, ObjectEntry, CStringEntry>;

    void readHeader();
    int8_t readHead();
    std::string_view take(std::size_t count);
    int64_t readInteger(int8_t head, bool isSigned);
    std::size_t readLength(int8_t head);
    std::size_t readReference(int8_t head);
    std::optional<std::string_view> readSharedString(int8_t head);
    std::optional<std::string_view> readUnsharedString(int8_t head);
    std::vector<Type> readEncoding(int8_t head);
    std::optional<std::size_t> readClass(int8_t head);
    std::optional<std::size_t> readObject(int8_t head, int depth, bool stopAtText);
    // The class of an object whose new-object tag was just read; returns the object's entry.
    std::size_t readNewObject();
    void readObjectContents(std::size_t object, int depth, bool stopAtText);
    void readCString(int8_t head);
    void readFloat(int8_t head, std::size_t size);
    void readValue(const Type& type, int depth);

    bool classChainHas(std::size_t classEntry, std::string_view first, std::string_view second) const;
    bool isString(std::size_t object) const;
    ObjectEntry& objectEntry(std::size_t object) { return std::get<ObjectEntry>(entries_[object]); }

    std::string_view bytes_;
    std::size_t offset_ = 0;
    std::vector<std::string_view> sharedStrings_;
    std::vector<Entry> entries_;
};

}  // namespace nudgerly
