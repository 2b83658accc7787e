#include "services/FeedbackSubmissionPolicy.h"

#include <unicode/utf8.h>

#include "core/Text.h"

namespace nudgerly::FeedbackSubmissionPolicy {
namespace {

bool isNewline(UChar32 c) {
    switch (c) {
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x85:
        case 0x2028:
        case 0x2029: return true;
        default: return false;
    }
}

// Whether the character starting at byte `at` of valid UTF-8 `text` begins with a line break.
bool startsWithNewline(const std::string& text, std::size_t at) {
    const auto* data = reinterpret_cast<const uint8_t*>(text.data());
    auto offset = static_cast<int32_t>(at);
    UChar32 c = 0;
    U8_NEXT(data, offset, static_cast<int32_t>(text.size()), c);
    return isNewline(c);
}

}  // namespace

std::optional<std::string> validationMessage(std::string_view details) {
    const std::string trimmed = text::trimmed(details);
    if (trimmed.empty()) {
        return "Add your feedback.";
    }
    if (!text::fitsInGraphemes(trimmed, maxDetailsCharacters)) {
        return "Keep feedback under " + std::to_string(maxDetailsCharacters) + " characters.";
    }
    return std::nullopt;
}

std::string summary(std::string_view details) {
    const std::string text = text::makeValidUtf8(details);
    const auto boundaries = text::graphemeBoundaries(text);
    std::size_t lineStart = 0;
    // Walks the characters; a line ends before a line-break character or at the end of the text.
    for (std::size_t i = 0; i < boundaries.size(); ++i) {
        const std::size_t at = boundaries[i];
        const bool atEnd = i + 1 == boundaries.size();
        if (!atEnd && !startsWithNewline(text, at)) {
            continue;
        }
        const std::string line = text::trimmed(std::string_view(text).substr(lineStart, at - lineStart));
        if (!line.empty()) {
            return text::graphemePrefix(line, maxSummaryCharacters);
        }
        if (!atEnd) {
            lineStart = boundaries[i + 1];
        }
    }
    return "Feedback";
}

}  // namespace nudgerly::FeedbackSubmissionPolicy
