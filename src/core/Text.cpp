#include "core/Text.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace nudgerly::text {
namespace {

// Length of the well-formed UTF-8 sequence at `i`, or 0 when the bytes there start an ill-formed one.
// `badLength` receives the length of the maximal ill-formed subpart (at least 1).
std::size_t sequenceLength(std::string_view s, std::size_t i, std::size_t& badLength) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    badLength = 1;
    if (lead < 0x80) {
        return 1;
    }
    std::size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead == 0xE0) {
        need = 2, lo = 0xA0;
    } else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
        need = 2;
    } else if (lead == 0xED) {
        need = 2, hi = 0x9F;
    } else if (lead == 0xF0) {
        need = 3, lo = 0x90;
    } else if (lead >= 0xF1 && lead <= 0xF3) {
        need = 3;
    } else if (lead == 0xF4) {
        need = 3, hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) {
            badLength = k;
            return 0;
        }
        const unsigned char b = byte(i + k);
        const bool ok = k == 1 ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
        if (!ok) {
            badLength = k;
            return 0;
        }
    }
    return need + 1;
}

icu::BreakIterator& characterBreaks() {
    // Break iterators are not thread-safe; each thread keeps its own.
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !it) {
            throw std::runtime_error("ICU could not create a character break iterator");
        }
        return it;
    }();
    return *iterator;
}

bool isContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The character break iterator set on `utf8` for one call; positions are byte offsets.
class CharacterBreaksOver {
public:
    explicit CharacterBreaksOver(std::string_view utf8) : breaks_(characterBreaks()) {
        UErrorCode status = U_ZERO_ERROR;
        utext_.reset(utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status));
        breaks_.setText(utext_.get(), status);
        if (U_FAILURE(status)) {
            throw std::runtime_error("ICU could not split a text into characters");
        }
    }
    ~CharacterBreaksOver() {
        static const icu::UnicodeString nothing;
        breaks_.setText(nothing);  // drop the iterator's reference to this text before it goes away
    }
    CharacterBreaksOver(const CharacterBreaksOver&) = delete;
    CharacterBreaksOver& operator=(const CharacterBreaksOver&) = delete;

    icu::BreakIterator* operator->() { return &breaks_; }

private:
    icu::BreakIterator& breaks_;
    std::unique_ptr<UText, decltype(&utext_close)> utext_{nullptr, &utext_close};
};

}  // namespace

std::string_view trimmedAscii(std::string_view text) {
    constexpr std::string_view whitespace = " \t\n\v\f\r";
    const auto first = text.find_first_not_of(whitespace);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(whitespace) - first + 1);
}

namespace {

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

std::string asciiLowercased(std::string_view text) {
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(), asciiLower);
    return lower;
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t bad = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {  // the common ASCII case, without the table
            ++i;
            continue;
        }
        const std::size_t n = sequenceLength(bytes, i, bad);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

std::string makeValidUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() + 8);
    std::size_t bad = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = sequenceLength(bytes, i, bad);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            i += bad;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

icu::UnicodeString toUnicode(std::string_view utf8) {
    // fromUTF8 substitutes U+FFFD for ill-formed input.
    return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string lowercased(std::string_view utf8) {
    icu::UnicodeString s = toUnicode(utf8);
    s.toLower(icu::Locale::getRoot());
    return toUtf8(s);
}

std::string caseAndDiacriticFolded(std::string_view utf8) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status) || nfd == nullptr) {
        throw std::runtime_error("ICU could not load its decomposition data");
    }
    const icu::UnicodeString decomposed = nfd->normalize(toUnicode(utf8), status);
    if (U_FAILURE(status)) {
        throw std::runtime_error("ICU could not decompose a text");
    }
    icu::UnicodeString kept;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) {
            kept.append(c);
        }
        i += U16_LENGTH(c);
    }
    kept.foldCase(U_FOLD_CASE_DEFAULT);
    return toUtf8(kept);
}

std::string trimmed(std::string_view utf8) {
    const std::string valid = makeValidUtf8(utf8);
    const auto* data = reinterpret_cast<const uint8_t*>(valid.data());
    const auto length = static_cast<int32_t>(valid.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c = 0;
        U8_NEXT(data, next, length, c);
        if (!u_hasBinaryProperty(c, UCHAR_WHITE_SPACE)) {
            break;
        }
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(data, 0, previous, c);
        if (!u_hasBinaryProperty(c, UCHAR_WHITE_SPACE)) {
            break;
        }
        end = previous;
    }
    return valid.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

bool isBlank(std::string_view utf8) {
    return trimmed(utf8).empty();
}

std::size_t graphemeCount(std::string_view utf8) {
    const icu::UnicodeString s = toUnicode(utf8);
    icu::BreakIterator& breaks = characterBreaks();
    breaks.setText(s);
    std::size_t count = 0;
    for (int32_t p = breaks.next(); p != icu::BreakIterator::DONE; p = breaks.next()) {
        ++count;
    }
    return count;
}

bool fitsInGraphemes(std::string_view utf8, std::size_t maximum) {
    // Every character takes at least one byte.
    if (utf8.size() <= maximum) {
        return true;
    }
    const std::string valid = makeValidUtf8(utf8);
    CharacterBreaksOver breaks(valid);
    std::size_t count = 0;
    for (int32_t p = breaks->next(); p != icu::BreakIterator::DONE; p = breaks->next()) {
        if (++count > maximum) {
            return false;  // no need to count the rest of a long text
        }
    }
    return true;
}

std::string_view bytePrefix(std::string_view utf8, std::size_t maximum) {
    if (utf8.size() <= maximum) {
        return utf8;
    }
    // A sequence is at most four bytes; a longer run of continuation bytes is invalid and cut anywhere.
    std::size_t end = maximum;
    for (int steps = 0; steps < 3 && end > 0 && isContinuationByte(utf8[end]); ++steps) {
        --end;
    }
    return utf8.substr(0, isContinuationByte(utf8[end]) ? maximum : end);
}

std::string graphemePrefix(std::string_view utf8, std::size_t count) {
    const std::string valid = makeValidUtf8(utf8);
    if (count == 0 || valid.empty()) {
        return {};
    }
    CharacterBreaksOver breaks(valid);
    std::size_t end = 0;
    for (std::size_t taken = 0; taken < count; ++taken) {
        const int32_t p = breaks->next();
        if (p == icu::BreakIterator::DONE) {
            break;
        }
        end = static_cast<std::size_t>(p);
    }
    return valid.substr(0, end);
}

std::vector<std::size_t> graphemeBoundaries(std::string_view utf8) {
    std::vector<std::size_t> boundaries{0};
    if (utf8.empty()) {
        return boundaries;
    }
    CharacterBreaksOver breaks(utf8);
    for (int32_t p = breaks->next(); p != icu::BreakIterator::DONE; p = breaks->next()) {
        boundaries.push_back(static_cast<std::size_t>(p));
    }
    return boundaries;
}

std::size_t graphemeBoundaryAtOrBefore(std::string_view utf8, std::size_t offset) {
    if (offset >= utf8.size()) {
        return utf8.size();
    }
    while (offset > 0 && isContinuationByte(utf8[offset])) {
        --offset;  // no character boundary inside a code point
    }
    if (offset == 0) {
        return 0;
    }
    CharacterBreaksOver breaks(utf8);
    const auto at = static_cast<int32_t>(offset);
    if (breaks->isBoundary(at)) {
        return offset;
    }
    const int32_t before = breaks->preceding(at);
    return before == icu::BreakIterator::DONE ? 0 : static_cast<std::size_t>(before);
}

std::size_t graphemeBoundaryAtOrAfter(std::string_view utf8, std::size_t offset) {
    if (offset == 0) {
        return 0;
    }
    while (offset < utf8.size() && isContinuationByte(utf8[offset])) {
        ++offset;
    }
    if (offset >= utf8.size()) {
        return utf8.size();
    }
    CharacterBreaksOver breaks(utf8);
    const auto at = static_cast<int32_t>(offset);
    if (breaks->isBoundary(at)) {
        return offset;
    }
    const int32_t after = breaks->following(at);
    return after == icu::BreakIterator::DONE ? utf8.size() : static_cast<std::size_t>(after);
}

}  // namespace nudgerly::text
