#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Builders of legacy typed-stream archives (little-endian), the form of the Messages database's
// `attributedBody`, for tests and generated databases.
namespace nudgerly::test {

// Writes the stream piece by piece, numbering shared strings, classes, objects and C strings the way
// an archiver does: a string or class written once is referred back to afterwards.
class TypedStreamWriter {
public:
    TypedStreamWriter();  // writes the header

    // An integer in the shortest form that holds it: one byte, or a tag and two or four bytes.
    TypedStreamWriter& integer(int64_t value);
    // A length or other unsigned number: one byte up to 127, then two bytes up to 65535, then four.
    TypedStreamWriter& unsignedInteger(uint64_t value);
    // A float or double value: whole numbers as integers, others as a tag and their IEEE bytes.
    TypedStreamWriter& floatValue(float value);
    TypedStreamWriter& doubleValue(double value);
    // A string of the shared table: written the first time, referred to afterwards. Encodings
    // ("@", "iI", "+") and class names are shared strings.
    TypedStreamWriter& sharedString(std::string_view text);
    TypedStreamWriter& encoding(std::string_view types) { return sharedString(types); }
    // A "+" value: length and bytes, never shared.
    TypedStreamWriter& unsharedString(std::string_view bytes);
    // A "*" value: shared twice, its characters as a shared string and itself as an entry.
    TypedStreamWriter& cString(std::string_view text);
    // A "#" value, and the class part of every new object: the chain written most derived first, up
    // to the first class already written (a reference) or to nil.
    TypedStreamWriter& classChain(const std::vector<std::string>& chain);
    TypedStreamWriter& nil();
    TypedStreamWriter& raw(std::string_view bytes);

    // Starts a new object of the class chain and returns its entry number (for reference()); write its
    // values as encodings and values, then endObject().
    std::size_t beginObject(const std::vector<std::string>& chain);
    TypedStreamWriter& endObject();
    // A value naming an object, class or C string written before by its entry number.
    TypedStreamWriter& reference(std::size_t entry);

    const std::string& bytes() const { return bytes_; }

private:
    template <typename Floating>
    TypedStreamWriter& floatingPoint(Floating value);

    std::string bytes_;
    std::map<std::string, std::size_t, std::less<>> sharedStrings_;
    std::map<std::string, std::size_t, std::less<>> classes_;
    std::map<std::string, std::size_t, std::less<>> cStrings_;
    std::size_t entries_ = 0;
};

// Class chains of the strings Messages archives.
std::vector<std::string> stringClasses(bool isMutable = false);
std::vector<std::string> attributedStringClasses(bool isMutable = false);

// An attributed string archived as Messages archives a message body: the string object, then for
// each attribute run its attribute-set number and length, with the attribute dictionary (a message
// part number) the first time a set appears. The default is one run over the whole text.
struct ArchivedAttributedString {
    std::string text;
    bool mutableClasses = false;
    // Lengths (in UTF-16 units) of the runs; empty for none at all.
    std::vector<int64_t> runLengths = {-1};  // -1: the whole text
};
std::string archivedAttributedString(const ArchivedAttributedString& contents);

// A plain string as the root object.
std::string archivedString(std::string_view text, bool mutableClass = false);

}  // namespace nudgerly::test
