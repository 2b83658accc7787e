#include "core/JsonObjectSlices.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace nudgerly {
namespace {

bool isJsonBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Reads the text structurally: where strings and containers end, never what values mean. Every
// method returns false when the text is not laid out as it expects.
class Cutter {
public:
    explicit Cutter(std::string_view text) : text_(text) {}

    std::size_t at() const { return at_; }
    bool atEnd() const { return at_ == text_.size(); }
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

    void skipBlanks() {
        while (at_ < text_.size() && isJsonBlank(text_[at_])) {
            ++at_;
        }
    }

    bool take(char c) {
        if (peek() != c) {
            return false;
        }
        ++at_;
        return true;
    }

    // At a '"': past the closing quote, one that no backslash escapes. `escaped` tells whether the
    // string holds a backslash.
    bool skipString(bool& escaped) {
        const std::size_t open = at_;
        for (std::size_t from = open + 1;;) {
            const void* found = std::memchr(text_.data() + from, '"', text_.size() - from);
            if (!found) {
                return false;
            }
            const auto quote = static_cast<std::size_t>(static_cast<const char*>(found) - text_.data());
            std::size_t backslashes = 0;
            while (text_[quote - backslashes - 1] == '\\') {
                ++backslashes;  // stops at the opening quote at the latest
            }
            from = quote + 1;
            if (backslashes % 2 == 0) {
                escaped = std::memchr(text_.data() + open + 1, '\\', quote - open - 1) != nullptr;
                at_ = from;
                return true;
            }
        }
    }

    // Past one value: a string, a container with everything inside, or a scalar's characters.
    bool skipValue() {
        const char first = peek();
        bool escaped = false;
        if (first == '"') {
            return skipString(escaped);
        }
        if (first != '{' && first != '[') {
            const std::size_t start = at_;
            while (at_ < text_.size() && !isJsonBlank(text_[at_]) && !std::strchr(",:]}[{\"", text_[at_])) {
                ++at_;
            }
            return at_ > start;
        }
        int depth = 0;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '"') {
                if (!skipString(escaped)) {
                    return false;
                }
                continue;
            }
            ++at_;
            if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0) {
                    return true;
                }
            }
        }
        return false;
    }

    std::string_view slice(std::size_t from, std::size_t to) const { return text_.substr(from, to - from); }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

// At a '[': the elements, past the closing ']'.
bool cutArray(Cutter& cutter, std::vector<std::string_view>& elements) {
    elements.clear();
    cutter.take('[');
    cutter.skipBlanks();
    if (cutter.take(']')) {
        return true;
    }
    for (;;) {
        const std::size_t start = cutter.at();
        if (!cutter.skipValue()) {
            return false;
        }
        elements.push_back(cutter.slice(start, cutter.at()));
        cutter.skipBlanks();
        if (cutter.take(']')) {
            return true;
        }
        if (!cutter.take(',')) {
            return false;
        }
        cutter.skipBlanks();
    }
}

}  // namespace

std::optional<JsonObjectSlices> sliceJsonObject(std::string_view text, std::span<const std::string_view> keys) {
    JsonObjectSlices slices;
    slices.arrays.resize(keys.size());
    Cutter cutter(text);
    cutter.skipBlanks();
    if (!cutter.take('{')) {
        return std::nullopt;
    }
    std::size_t copied = 0;  // the text up to here is in `rest`, or is an array's content left out
    std::vector<bool> seen(keys.size());
    cutter.skipBlanks();
    if (!cutter.take('}')) {
        for (;;) {
            const std::size_t keyStart = cutter.at();
            bool escaped = false;
            if (cutter.peek() != '"' || !cutter.skipString(escaped) || escaped) {
                return std::nullopt;
            }
            const std::string_view key = cutter.slice(keyStart + 1, cutter.at() - 1);
            cutter.skipBlanks();
            if (!cutter.take(':')) {
                return std::nullopt;
            }
            cutter.skipBlanks();
            const auto asked = std::ranges::find(keys, key);
            if (asked != keys.end()) {
                const auto index = static_cast<std::size_t>(asked - keys.begin());
                if (seen[index]) {
                    return std::nullopt;
                }
                seen[index] = true;
            }
            if (asked != keys.end() && cutter.peek() == '[') {
                slices.rest.append(cutter.slice(copied, cutter.at()));
                slices.rest.append("[]");
                if (!cutArray(cutter, slices.arrays[static_cast<std::size_t>(asked - keys.begin())])) {
                    return std::nullopt;
                }
                copied = cutter.at();
            } else if (!cutter.skipValue()) {
                return std::nullopt;
            }
            cutter.skipBlanks();
            if (cutter.take('}')) {
                break;
            }
            if (!cutter.take(',')) {
                return std::nullopt;
            }
            cutter.skipBlanks();
        }
    }
    cutter.skipBlanks();
    if (!cutter.atEnd()) {
        return std::nullopt;
    }
    slices.rest.append(cutter.slice(copied, cutter.at()));
    return slices;
}

}  // namespace nudgerly
