#pragma once

#include <string>
#include <string_view>

// Removes quoted questions from a text, so that a question mark inside a quotation (a headline, a
// forwarded remark, pasted material) is not read as a question put to the user. Every "?" test of
// the classifier looks at the text this leaves.
namespace nudgerly::QuestionSurfacePolicy {

// Drops passages in curly double, curly single and straight double quotes that hold a "?", in that
// order. Passages without a question mark and single straight quotes are left alone. Invalid UTF-8 in
// a text with a "?" comes back as U+FFFD.
std::string removingQuotedQuestions(std::string_view text);

}  // namespace nudgerly::QuestionSurfacePolicy
