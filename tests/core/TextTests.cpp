#include <algorithm>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/Regex.h"
#include "core/Text.h"

namespace nudgerly {
namespace {

TEST(TextTests, MakesExternalBytesValidUtf8) {
    EXPECT_EQ(text::makeValidUtf8("plain é 😀"), "plain é 😀");
    EXPECT_EQ(text::makeValidUtf8("a\xff"
                                  "b"),
              "a\uFFFD"
              "b");
    // A truncated four-byte sequence is one maximal ill-formed part, so one replacement.
    EXPECT_EQ(text::makeValidUtf8("\xF0\x9F\x98"), "\uFFFD");
    // Surrogates encoded in UTF-8 and overlong forms are ill-formed byte by byte.
    EXPECT_EQ(text::makeValidUtf8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(text::makeValidUtf8("\xC0\xAF"), "\uFFFD\uFFFD");
    EXPECT_TRUE(text::isValidUtf8(""));
    EXPECT_FALSE(text::isValidUtf8("\x80"));
}

TEST(TextTests, LowercasesWithoutLocaleAndTrimsUnicodeWhitespace) {
    EXPECT_EQ(text::lowercased("ÀÉÎ ISTANBUL ΣΑΣ"), "àéî istanbul σας");
    EXPECT_EQ(text::trimmed("\u00A0\t hello world \n\u3000"), "hello world");
    EXPECT_EQ(text::trimmed(" \n "), "");
    EXPECT_TRUE(text::isBlank("\u2003\r\n"));
    EXPECT_FALSE(text::isBlank(" x "));
}

TEST(TextTests, CountsAndCutsUserPerceivedCharacters) {
    const std::string family = "👨‍👩‍👧";  // one character made of five code points
    EXPECT_EQ(text::graphemeCount(family + "ab"), 3u);
    EXPECT_EQ(text::graphemeCount("e\u0301"), 1u);
    EXPECT_EQ(text::graphemePrefix(family + "abc", 2), family + "a");
    EXPECT_EQ(text::graphemePrefix("ab", 5), "ab");
    EXPECT_EQ(text::graphemePrefix("ab", 0), "");
    EXPECT_EQ(text::graphemeBoundaries(family + "e\u0301x"), (std::vector<std::size_t>{0, 18, 21, 22}));
    EXPECT_EQ(text::graphemeBoundaries(""), (std::vector<std::size_t>{0}));
}

TEST(TextTests, FoldsCaseAndAccentsAlikeForEveryone) {
    EXPECT_EQ(text::caseAndDiacriticFolded("JOSÉ"), "jose");
    EXPECT_EQ(text::caseAndDiacriticFolded("Jose\u0301"), "jose");  // already decomposed
    EXPECT_EQ(text::caseAndDiacriticFolded("İstanbul Straße Ǆ"), "istanbul strasse ǆ");
    EXPECT_EQ(text::caseAndDiacriticFolded("Łódź"), "łodz");  // a stroke is part of the letter, not a mark
}

TEST(TextTests, BoundaryLookupsAgreeWithSplittingTheWholeText) {
    // Characters whose boundaries need context: flags (pairs of regional indicators), joined emoji,
    // skin tones, combining marks, Hangul syllables from jamo, CR LF, and plain letters.
    const std::vector<std::string> pieces{"\U0001F1EB", "\U0001F1F7", "\U0001F468", "\u200D", "\U0001F3FD",
                                          "\u0301",     "\u1100",     "\u1161",     "\u11A8", "\r",
                                          "\n",         "a",          "\u00E9",     " "};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 30);
    for (int n = 0; n < 3000; ++n) {
        std::string text;
        for (int k = length(random); k > 0; --k) {
            text += pieces[piece(random)];
        }
        const std::vector<std::size_t> boundaries = text::graphemeBoundaries(text);
        for (std::size_t offset = 0; offset <= text.size() + 1; ++offset) {
            const auto after = std::lower_bound(boundaries.begin(), boundaries.end(), offset);
            const std::size_t expectedAfter = after == boundaries.end() ? text.size() : *after;
            const std::size_t expectedBefore =
                *std::prev(std::upper_bound(boundaries.begin(), boundaries.end(), offset));
            ASSERT_EQ(text::graphemeBoundaryAtOrBefore(text, offset), expectedBefore) << text << " at " << offset;
            ASSERT_EQ(text::graphemeBoundaryAtOrAfter(text, offset), expectedAfter) << text << " at " << offset;
        }
    }
}

TEST(RegexTests, SearchesWithIcuSemantics) {
    const Regex word(R"(\bterms (?:of service|of use)\b)", Regex::caseInsensitive);
    EXPECT_TRUE(word.search("Our Terms of Service changed"));
    EXPECT_FALSE(word.search("ourterms of service"));
    const Regex apostrophe("we['’]ve", Regex::caseInsensitive);
    EXPECT_TRUE(apostrophe.search("We’ve updated"));
    EXPECT_TRUE(apostrophe.search("we've updated"));
    EXPECT_FALSE(Regex("^abc$").search("xabc"));
}

TEST(RegexTests, GivesTheFirstMatchsGroup) {
    const Regex addressed(R"(^(?:hey\s+)?(\p{L}+)\s*[:,]|(never))");
    EXPECT_EQ(addressed.firstMatchGroup(text::toUnicode("hey Zoë: hi, Sam:"), 1), text::toUnicode("Zoë"));
    EXPECT_EQ(addressed.firstMatchGroup(text::toUnicode("Sam: x"), 2), std::nullopt);  // took no part
    EXPECT_EQ(addressed.firstMatchGroup(text::toUnicode("no address"), 1), std::nullopt);
}

TEST(RegexTests, WholeMatchRejectsATrailingNewline) {
    const Regex safe("^[A-Za-z0-9._-]+$");
    EXPECT_TRUE(safe.search("abc\n"));  // why a plain search is not enough
    EXPECT_FALSE(safe.matchesWhole("abc\n"));
    EXPECT_TRUE(safe.matchesWhole("abc"));
}

TEST(RegexTests, ReplacesAndReportsMatches) {
    const Regex spaces(R"(\s+)");
    EXPECT_EQ(spaces.replacingAll("a  b\n\tc", " "), "a b c");
    EXPECT_EQ(Regex("(\\w+)@").replacingAll("me@x", "<$1>"), "<me>x");
    EXPECT_TRUE(text::equalsIgnoringAsciiCase("Content-TYPE", "content-type"));
    EXPECT_FALSE(text::equalsIgnoringAsciiCase("\u00C9", "\u00E9"));
    EXPECT_FALSE(text::equalsIgnoringAsciiCase("abc", "ab"));
    const auto matches = Regex("o").matches(text::toUnicode("foo"));
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0], (Regex::Match{1, 2}));
}

TEST(RegexTests, BadPatternsThrowAndRuntimeFailuresReadAsNoMatch) {
    EXPECT_THROW(Regex("(unclosed"), std::invalid_argument);
    // Catastrophic nesting exhausts ICU's backtracking stack on a long input; that is "no match".
    const Regex pathological("^(a|aa|a?)*+b");
    EXPECT_FALSE(pathological.search(std::string(100000, 'a')));
}

TEST(RegexTests, ARunawaySearchGivesUpAsNoMatch) {
    // Nested repetition backtracks through 2^40 ways before failing; the step limit ends it early.
    const std::string as(40, 'a');
    const Regex runaway("(a+)+b");
    EXPECT_FALSE(runaway.search(as));
    EXPECT_TRUE(runaway.matches(text::toUnicode(as)).empty());
    EXPECT_EQ(runaway.replacingAll(as, "x"), as);
    EXPECT_TRUE(runaway.search(as + "b"));
}

TEST(RegexTests, BudgetedOperationsGiveUpOnRunawayBacktracking) {
    const Regex lazyToClose(R"((?s)<(a|b)>.*?</\1>)");
    const icu::UnicodeString ordinary = text::toUnicode("x<a>1</a>y<b>2</b>z");
    EXPECT_EQ(lazyToClose.replacingAllWithinBudget(ordinary, icu::UnicodeString(u"[$1]")),
              text::toUnicode("x[a]y[b]z"));
    // Literal and whole-match templates are copied without ICU reading them; the result is the same.
    for (const char16_t* replacement : {u"", u"-", u"$0<br>", u"$0", u"$01", u"$0\\$", u"$1$0"}) {
        EXPECT_EQ(lazyToClose.replacingAllWithinBudget(ordinary, icu::UnicodeString(replacement)),
                  lazyToClose.replacingAll(ordinary, icu::UnicodeString(replacement)));
    }
    EXPECT_EQ(lazyToClose.firstMatchWithinBudget(ordinary), (Regex::Match{1, 9}));
    EXPECT_EQ(lazyToClose.firstMatchWithinBudget(text::toUnicode("none")), std::nullopt);

    // Every unclosed "<a>" scans to the end: quadratic, so the budget runs out where ICU's own
    // replaceAll would stop quietly part-way.
    std::string unclosed;
    for (int i = 0; i < 20000; ++i) {
        unclosed += "<a>";
    }
    const icu::UnicodeString hostile = text::toUnicode(unclosed + "<b>1</b>");
    EXPECT_EQ(lazyToClose.replacingAllWithinBudget(hostile, icu::UnicodeString()), std::nullopt);
    EXPECT_EQ(Regex("[a-z]+@").firstMatchWithinBudget(text::toUnicode(std::string(100000, 'a'))), std::nullopt);
}

TEST(RegexTests, OnePatternServesManyThreads) {
    const Regex pattern(R"(\bneed\b)", Regex::caseInsensitive);
    std::vector<std::thread> threads;
    std::atomic<int> hits{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                hits += pattern.search("I NEED this") ? 1 : 0;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(hits.load(), 8 * 500);
}

}  // namespace
}  // namespace nudgerly
