#include <array>
#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "classifier/AcknowledgedCommitmentGuardrail.h"
#include "classifier/QuestionSurfacePolicy.h"
#include "core/Regex.h"
#include "core/Text.h"

namespace nudgerly {
namespace {

// The rules as first written, with the patterns themselves: the one-pass removals must agree with them.
namespace oracle {

std::string removingMatches(std::string_view text, std::initializer_list<const Regex*> patterns) {
    icu::UnicodeString result = text::toUnicode(text);
    for (const Regex* pattern : patterns) {
        result = pattern->replacingAll(result, icu::UnicodeString());
    }
    return text::toUtf8(result);
}

std::string removingQuotedQuestions(std::string_view text) {
    if (text.find('?') == std::string_view::npos) {
        return std::string(text);
    }
    static const Regex curlyDouble(R"(“[^”]*\?[^”]*”)");
    static const Regex curlySingle(R"(‘[^’]*\?[^’]*’)");
    static const Regex straightDouble(R"(\"[^\"]*\?[^\"]*\")");
    return removingMatches(text, {&curlyDouble, &curlySingle, &straightDouble});
}

std::string removingQuotedSegments(std::string_view text) {
    static const Regex curlyDouble(R"(“[^”]*”)");
    static const Regex straightDouble(R"(\"[^\"]*\")");
    return removingMatches(text, {&curlyDouble, &straightDouble});
}

}  // namespace oracle

#if defined(__SANITIZE_ADDRESS__)
constexpr int randomTexts = 200'000;  // the sanitizers slow the patterns down tenfold
#else
constexpr int randomTexts = 2'000'000;
#endif
// The texts are drawn in parts of their own seeds, which run side by side as tests of their own;
// enough parts that each stays a few seconds on a loaded machine.
constexpr int randomParts = 10;

// Every quote the rules know, the single straight quote they ignore, question marks, letters, line
// breaks, characters of two and four bytes, and broken UTF-8 (a cut-off quote, stray bytes, which may
// also join into a quote).
constexpr std::array<std::string_view, 16> pieces{
    "\u201C", "\u201D", "\u2018", "\u2019", "\"",     "'",          "?",        "?",
    "a",      "Zq",     " ",      "\n",     "\u00E9", "\U0001F602", "\xE2\x80", "\x9D",
};

class QuotedPassageRandomTests : public testing::TestWithParam<int> {};

TEST_P(QuotedPassageRandomTests, OnePassRemovalsAgreeWithThePatternsOnRandomTexts) {
    std::mt19937_64 random(20260311 + GetParam());
    std::uniform_int_distribution<std::size_t> length(0, 24);
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    int failures = 0;
    for (int n = 0; n < randomTexts / randomParts && failures < 5; ++n) {
        std::string text;
        for (std::size_t k = length(random); k > 0; --k) {
            text += pieces[piece(random)];
        }
        const std::string expected = oracle::removingQuotedQuestions(text);
        const std::string actual = QuestionSurfacePolicy::removingQuotedQuestions(text);
        if (actual != expected) {
            ++failures;
            ADD_FAILURE() << "questions in [" << text << "]: [" << actual << "] instead of [" << expected << "]";
        }
        if (n % 4 == 0) {  // the segment rule is simpler; a quarter of the texts is plenty
            const std::string expectedSegments = oracle::removingQuotedSegments(text);
            const std::string actualSegments = AcknowledgedCommitmentGuardrail::removingQuotedSegments(text);
            if (actualSegments != expectedSegments) {
                ++failures;
                ADD_FAILURE() << "segments in [" << text << "]: [" << actualSegments << "] instead of ["
                              << expectedSegments << "]";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, QuotedPassageRandomTests, testing::Range(0, randomParts));

TEST(QuotedPassageTests, ManyOpeningQuotesBeforeOneClosingQuoteAreHandledWhole) {
    // Every opening quote of the run fails at the first closing quote (no "?" before it): the
    // patterns tried each of them up to it, quadratic time, seconds for this text.
    std::string run;
    for (int i = 0; i < 20'000; ++i) {
        run += "\u201C\u00E9 ";
    }
    EXPECT_EQ(QuestionSurfacePolicy::removingQuotedQuestions(run + "\u201D and \u201Cwhy?\u201D end"),
              run + "\u201D and  end");
    EXPECT_EQ(AcknowledgedCommitmentGuardrail::removingQuotedSegments(run + "\u201D and \"so?\" end"), " and  end");
    EXPECT_EQ(QuestionSurfacePolicy::removingQuotedQuestions("\u201Ca \u201Cb?\u201D c"), " c");
}

}  // namespace
}  // namespace nudgerly
