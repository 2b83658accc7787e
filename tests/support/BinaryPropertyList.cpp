#include "support/BinaryPropertyList.h"

#include <bit>
#include <cstdint>

namespace nudgerly::test {
namespace {

void appendBigEndian(std::string& out, uint64_t value, std::size_t width) {
    for (std::size_t i = width; i-- > 0;) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::size_t widthFor(uint64_t largest) {
    return largest <= 0xFF ? 1 : largest <= 0xFFFF ? 2 : largest <= 0xFFFFFFFF ? 4 : 8;
}

// A marker with its count: in the low nibble below 15, else 0xF and an integer object.
std::string marker(unsigned kind, uint64_t count) {
    std::string out;
    if (count < 0xF) {
        out.push_back(static_cast<char>(kind << 4 | count));
        return out;
    }
    out.push_back(static_cast<char>(kind << 4 | 0xF));
    const std::size_t width = widthFor(count);
    const unsigned power = width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3;
    out.push_back(static_cast<char>(0x10 | power));
    appendBigEndian(out, count, width);
    return out;
}

}  // namespace

std::size_t BinaryPropertyList::add(Object object) {
    objects_.push_back(std::move(object));
    return objects_.size() - 1;
}

std::size_t BinaryPropertyList::ascii(std::string_view text) {
    return add({marker(0x5, text.size()) + std::string(text), {}});
}

std::size_t BinaryPropertyList::utf16(std::u16string_view text) {
    std::string head = marker(0x6, text.size());
    for (const char16_t unit : text) {
        appendBigEndian(head, unit, 2);
    }
    return add({head, {}});
}

std::size_t BinaryPropertyList::integer(unsigned char value) {
    return add({std::string{'\x10', static_cast<char>(value)}, {}});
}

std::size_t BinaryPropertyList::date(double seconds) {
    std::string head = "\x33";
    appendBigEndian(head, std::bit_cast<uint64_t>(seconds), 8);
    return add({head, {}});
}

std::size_t BinaryPropertyList::array(std::vector<std::size_t> elements) {
    const std::size_t count = elements.size();
    return add({marker(0xA, count), std::move(elements)});
}

std::size_t BinaryPropertyList::dictionary(std::vector<std::pair<std::size_t, std::size_t>> keysAndValues) {
    std::vector<std::size_t> references;
    for (const auto& entry : keysAndValues) {
        references.push_back(entry.first);
    }
    for (const auto& entry : keysAndValues) {
        references.push_back(entry.second);
    }
    return add({marker(0xD, keysAndValues.size()), std::move(references)});
}

std::string BinaryPropertyList::bytes(std::size_t top) const {
    const std::size_t referenceWidth = widthFor(objects_.empty() ? 0 : objects_.size() - 1);
    std::string out = "bplist00";
    std::vector<uint64_t> offsets;
    for (const Object& object : objects_) {
        offsets.push_back(out.size());
        out += object.head;
        for (const std::size_t reference : object.references) {
            appendBigEndian(out, reference, referenceWidth);
        }
    }
    const uint64_t offsetTable = out.size();
    const std::size_t offsetWidth = widthFor(offsetTable);
    for (const uint64_t offset : offsets) {
        appendBigEndian(out, offset, offsetWidth);
    }
    out.append(6, '\0');
    out.push_back(static_cast<char>(offsetWidth));
    out.push_back(static_cast<char>(referenceWidth));
    appendBigEndian(out, objects_.size(), 8);
    appendBigEndian(out, top, 8);
    appendBigEndian(out, offsetTable, 8);
    return out;
}

}  // namespace nudgerly::test
