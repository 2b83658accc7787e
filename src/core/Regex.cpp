#include "core/Regex.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include <unicode/uchar.h>

#include "core/Text.h"

namespace nudgerly {
namespace {

// ICU counts its match time in ticks of 10,000 engine steps (roughly half a millisecond). Linear
// patterns over ordinary text need well under one step per character; the budget allows four, plus a
// floor for short texts, and stops quadratic and worse backtracking after a fraction of a second.
constexpr int64_t budgetStepsPerUnit = 4;
constexpr int64_t stepsPerTick = 10'000;
constexpr int64_t minimumBudgetTicks = 50;

int32_t budgetTicks(const icu::UnicodeString& text) {
    const int64_t ticks = minimumBudgetTicks + static_cast<int64_t>(text.length()) * budgetStepsPerUnit / stepsPerTick;
    return static_cast<int32_t>(std::min<int64_t>(ticks, INT32_MAX));
}

// A backstop for every other search, so one that backtracks without end reads as no match instead of
// hanging a refresh. The rules' patterns need well under a tenth of it on a 100 KB text.
constexpr int32_t searchTickLimit = 1000;

}  // namespace

Regex::Regex(std::string_view pattern, uint32_t options) : pattern_(pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    compiled_.reset(icu::RegexPattern::compile(text::toUnicode(pattern), options, parseError, status));
    if (U_FAILURE(status) || !compiled_) {
        throw std::invalid_argument("Regular expression does not compile (" + std::string(u_errorName(status)) +
                                    " at offset " + std::to_string(parseError.offset) + "): " + pattern_);
    }
}

std::unique_ptr<icu::RegexMatcher> Regex::matcher(const icu::UnicodeString& text) const {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(compiled_->matcher(text, status));
    if (m) {
        m->setTimeLimit(searchTickLimit, status);
    }
    if (U_FAILURE(status)) {
        return nullptr;
    }
    return m;
}

bool Regex::search(std::string_view utf8) const {
    return search(text::toUnicode(utf8));
}

bool Regex::search(const icu::UnicodeString& text) const {
    const auto m = matcher(text);
    if (!m) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    const bool found = m->find(status);
    return U_SUCCESS(status) && found;
}

bool Regex::matchesWhole(std::string_view utf8) const {
    const icu::UnicodeString text = text::toUnicode(utf8);
    const auto m = matcher(text);
    if (!m) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    const bool found = m->matches(status);
    return U_SUCCESS(status) && found;
}

std::optional<icu::UnicodeString> Regex::firstMatchGroup(const icu::UnicodeString& text, int32_t group) const {
    const auto m = matcher(text);
    if (!m) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    if (!m->find(status) || U_FAILURE(status)) {
        return std::nullopt;
    }
    const int32_t start = m->start(group, status);
    const int32_t end = m->end(group, status);
    if (U_FAILURE(status) || start < 0) {
        return std::nullopt;
    }
    return icu::UnicodeString(text, start, end - start);
}

std::vector<Regex::Match> Regex::matches(const icu::UnicodeString& text) const {
    std::vector<Match> result;
    const auto m = matcher(text);
    if (!m) {
        return result;
    }
    UErrorCode status = U_ZERO_ERROR;
    while (m->find(status) && U_SUCCESS(status)) {
        const int32_t start = m->start(status);
        const int32_t end = m->end(status);
        if (U_FAILURE(status)) {
            return {};
        }
        result.push_back({start, end});
    }
    if (U_FAILURE(status)) {
        return {};
    }
    return result;
}

std::string Regex::replacingAll(std::string_view utf8, std::string_view replacement) const {
    const icu::UnicodeString text = text::toUnicode(utf8);
    const icu::UnicodeString replaced = replacingAll(text, text::toUnicode(replacement));
    return text::toUtf8(replaced);
}

icu::UnicodeString Regex::replacingAll(const icu::UnicodeString& text, const icu::UnicodeString& replacement) const {
    const auto m = matcher(text);
    if (!m) {
        return text;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString result = m->replaceAll(replacement, status);
    if (U_FAILURE(status)) {
        return text;
    }
    return result;
}

std::unique_ptr<icu::RegexMatcher> Regex::budgetedMatcher(const icu::UnicodeString& text) const {
    auto m = matcher(text);
    if (!m) {
        return nullptr;
    }
    UErrorCode status = U_ZERO_ERROR;
    m->setTimeLimit(budgetTicks(text), status);
    return U_SUCCESS(status) ? std::move(m) : nullptr;
}

std::optional<icu::UnicodeString> Regex::replacingAllWithinBudget(const icu::UnicodeString& text,
                                                                  const icu::UnicodeString& replacement) const {
    const auto m = budgetedMatcher(text);
    if (!m) {
        return std::nullopt;
    }
    // A replacement of literal text, or of the whole match ("$0") followed by literal text, is copied
    // as it is: ICU would read the template again at every match, which costs more than the search on
    // markup with many matches. Other templates go through ICU.
    const bool wholeMatchFirst = replacement.startsWith(u"$0");
    const icu::UnicodeString literal = wholeMatchFirst ? icu::UnicodeString(replacement, 2) : replacement;
    const bool copied = literal.indexOf(u'$') < 0 && literal.indexOf(u'\\') < 0 &&
                        !(wholeMatchFirst && !literal.isEmpty() && u_isdigit(literal.char32At(0)));  // "$01" is group 1
    // ICU's own replaceAll stops quietly when the time limit trips; this loop sees the failure.
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString result(text.length() + 16, 0, 0);  // the capacity, so that appending rarely moves it
    int32_t kept = 0;
    while (m->find(status) && U_SUCCESS(status)) {
        if (!copied) {
            m->appendReplacement(result, replacement, status);
        } else {
            const int32_t start = m->start(status);
            const int32_t end = m->end(status);
            result.append(text, kept, start - kept);
            if (wholeMatchFirst) {
                result.append(text, start, end - start);
            }
            result.append(literal);
            kept = end;
        }
        if (U_FAILURE(status)) {
            return std::nullopt;
        }
    }
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    if (copied) {
        result.append(text, kept, text.length() - kept);
    } else {
        m->appendTail(result);
    }
    return result;
}

std::optional<Regex::Match> Regex::firstMatchWithinBudget(const icu::UnicodeString& text) const {
    const auto m = budgetedMatcher(text);
    if (!m) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    if (!m->find(status) || U_FAILURE(status)) {
        return std::nullopt;
    }
    const Match match{m->start(status), m->end(status)};
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return match;
}

}  // namespace nudgerly
