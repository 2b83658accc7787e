#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace nudgerly {

// An ICU regular expression compiled once and shareable between threads (the compiled pattern is
// immutable; every search makes its own matcher). Semantics are ICU's defaults, which is also what
// the original rules were written against: "\b" is the simple word boundary, "." stops at line ends,
// "^"/"$" anchor the whole text unless `multiline` is given, "$" also before a final line break ("\z"
// is the very end).
class Regex {
public:
    enum Option : uint32_t {
        caseInsensitive = UREGEX_CASE_INSENSITIVE,
        multiline = UREGEX_MULTILINE,
        dotMatchesLineSeparators = UREGEX_DOTALL,
    };

    struct Match {
        int32_t start = 0;  // UTF-16 offsets into the searched text
        int32_t end = 0;
        friend bool operator==(const Match&, const Match&) = default;
    };

    // Throws std::invalid_argument when the pattern does not compile: patterns are part of the
    // program, so that is a programming error caught by the tests.
    explicit Regex(std::string_view pattern, uint32_t options = 0);

    // True when the pattern matches anywhere in the text. A runtime failure of the engine (its
    // backtracking stack running out, or a search running past its step limit) counts as no match.
    bool search(std::string_view utf8) const;
    bool search(const icu::UnicodeString& text) const;
    bool search(const char* utf8) const { return search(std::string_view(utf8)); }

    // True when the pattern matches the whole text (not just a part, and not up to a trailing newline).
    bool matchesWhole(std::string_view utf8) const;

    // The text captured by `group` in the first match; absent when nothing matches, the group took no
    // part in the match, or the engine fails.
    std::optional<icu::UnicodeString> firstMatchGroup(const icu::UnicodeString& text, int32_t group) const;

    // All non-overlapping matches, in order. Empty on a runtime failure.
    std::vector<Match> matches(const icu::UnicodeString& text) const;

    // Replaces every match with `replacement`, which may use "$1" group references and "\" escapes
    // (ICU template syntax). On a runtime failure the text comes back unchanged.
    std::string replacingAll(std::string_view utf8, std::string_view replacement) const;
    icu::UnicodeString replacingAll(const icu::UnicodeString& text, const icu::UnicodeString& replacement) const;
    std::string replacingAll(const char* utf8, const char* replacement) const {
        return replacingAll(std::string_view(utf8), std::string_view(replacement));
    }

    // Text from outside can make some patterns backtrack for a very long time. These variants give the
    // engine a work budget in proportion to the text's length (ICU's match time limit, counted over the
    // whole operation) and come back absent when it runs out or the engine fails otherwise.
    std::optional<icu::UnicodeString> replacingAllWithinBudget(const icu::UnicodeString& text,
                                                               const icu::UnicodeString& replacement) const;
    // The first match; absent when there is none or the budget runs out.
    std::optional<Match> firstMatchWithinBudget(const icu::UnicodeString& text) const;

    const std::string& pattern() const { return pattern_; }

private:
    std::unique_ptr<icu::RegexMatcher> matcher(const icu::UnicodeString& text) const;
    std::unique_ptr<icu::RegexMatcher> budgetedMatcher(const icu::UnicodeString& text) const;

    std::string pattern_;
    std::unique_ptr<icu::RegexPattern> compiled_;
};

}  // namespace nudgerly
