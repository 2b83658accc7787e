#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nudgerly::test {

// Writes binary property lists object by object, including what libplist itself never writes: NUL
// inside keys, UTF-16 text, shared and cyclic references and nesting of any depth. Each call adds
// one object and answers its index; references may name objects added later.
class BinaryPropertyList {
public:
    std::size_t ascii(std::string_view text);
    std::size_t utf16(std::u16string_view text);
    std::size_t integer(unsigned char value);
    // Seconds since 2001-01-01 UTC.
    std::size_t date(double seconds);
    std::size_t array(std::vector<std::size_t> elements);
    std::size_t dictionary(std::vector<std::pair<std::size_t, std::size_t>> keysAndValues);

    std::size_t count() const { return objects_.size(); }
    // The whole list, rooted at `top`.
    std::string bytes(std::size_t top) const;

private:
    struct Object {
        std::string head;                     // marker, count and any inline content
        std::vector<std::size_t> references;  // written after the head in the chosen width
    };
    std::size_t add(Object object);

    std::vector<Object> objects_;
};

}  // namespace nudgerly::test
