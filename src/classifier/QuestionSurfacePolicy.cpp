#include "classifier/QuestionSurfacePolicy.h"

#include "classifier/ClassifierText.h"
#include "core/Text.h"

namespace nudgerly::QuestionSurfacePolicy {
namespace {

const Regex& curlyDoubleQuoted() {
    static const Regex pattern(R"(“[^”]*\?[^”]*”)");
    return pattern;
}

const Regex& curlySingleQuoted() {
    static const Regex pattern(R"(‘[^’]*\?[^’]*’)");
    return pattern;
}

const Regex& straightDoubleQuoted() {
    static const Regex pattern(R"(\"[^\"]*\?[^\"]*\")");
    return pattern;
}

}  // namespace

std::string removingQuotedQuestions(std::string_view text) {
    // Every pattern needs a question mark, and this runs for most messages several times over.
    if (text.find('?') == std::string_view::npos) {
        return std::string(text);
    }
    using ClassifierText::removingQuotedPassages;
    icu::UnicodeString result = removingQuotedPassages(curlyDoubleQuoted(), text::toUnicode(text), u'”');
    result = removingQuotedPassages(curlySingleQuoted(), result, u'’');
    result = removingQuotedPassages(straightDoubleQuoted(), result, u'"');
    return text::toUtf8(result);
}

std::vector<const Regex*> patterns() {
    return {&curlyDoubleQuoted(), &curlySingleQuoted(), &straightDoubleQuoted()};
}

}  // namespace nudgerly::QuestionSurfacePolicy
