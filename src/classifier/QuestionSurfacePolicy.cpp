#include "classifier/QuestionSurfacePolicy.h"

#include <array>
#include <utility>

#include "classifier/ClassifierText.h"
#include "core/Text.h"

namespace nudgerly::QuestionSurfacePolicy {

std::string removingQuotedQuestions(std::string_view text) {
    // Every passage removed needs a question mark, and this runs for most messages several times over.
    if (text.find('?') == std::string_view::npos) {
        return std::string(text);
    }
    // Curly double, curly single, then straight double quotes, each on what the one before left.
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> quotes{{
        {"\u201C", "\u201D"},
        {"\u2018", "\u2019"},
        {"\"", "\""},
    }};
    std::string result = text::makeValidUtf8(text);
    for (const auto& [open, close] : quotes) {
        result = ClassifierText::removingQuotedPassages(result, open, close,
                                                        ClassifierText::QuotedPassages::holdingAQuestion);
    }
    return result;
}

}  // namespace nudgerly::QuestionSurfacePolicy
