#pragma once

#include <algorithm>
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
// the archive unreadable; it never crashes or loops. The values in front of the characters (a few
// dozen bytes in a real body) must lie within the first `longestPreamble` bytes, so that the tables
// the reader keeps stay small however large the archive.
class TypedStreamReader {
public:
    static constexpr std::size_t longestPreamble = 64 * 1024;

    // The characters of the root object when it is an attributed string or a string, made valid
    // UTF-8; absent for any other root and for damaged or truncated bytes. Reading stops at the
    // characters, so whatever follows them (the attribute runs) is never looked at.
    static std::optional<std::string> rootText(std::string_view archive);

    // The same characters as they stand in the archive, not yet made valid UTF-8 and not copied: a
    // caller that needs only their beginning converts only that.
    static std::optional<std::string_view> rootCharacters(std::string_view archive);

private:
    explicit TypedStreamReader(std::string_view bytes)
        : bytes_(bytes), preambleEnd_(std::min(bytes.size(), longestPreamble)) {}
    std::optional<std::string_view> readRootCharacters();
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
    // Bytes of the preamble; the characters of strings may run past it.
    std::string_view take(std::size_t count);
    std::string_view takeCharacters(std::size_t count);
    std::string_view takeBefore(std::size_t end, std::size_t count);
    std::size_t preambleLeft() const { return offset_ < preambleEnd_ ? preambleEnd_ - offset_ : 0; }
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
    std::size_t preambleEnd_;
    std::size_t offset_ = 0;
    std::vector<std::string_view> sharedStrings_;
    std::vector<Entry> entries_;
};

}  // namespace nudgerly
