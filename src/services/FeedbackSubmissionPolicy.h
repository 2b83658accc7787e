#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The rules the feedback form applies to what the user typed. Lengths count user-perceived
// characters, so an emoji or an accented letter is one character however it is encoded.
namespace nudgerly::FeedbackSubmissionPolicy {

inline constexpr std::size_t maxDetailsCharacters = 4000;
inline constexpr std::size_t maxSummaryCharacters = 120;

// The sentence that keeps the report from being sent, or absent when the details may be sent:
// "Add your feedback." for blank details, "Keep feedback under 4000 characters." when the trimmed
// details are longer than that.
std::optional<std::string> validationMessage(std::string_view details);

// The first line of the details that is not blank, trimmed and cut to 120 characters; "Feedback" when
// there is none. Lines end at LF, VT, FF, CR (CR LF counting as one), NEL, LS and PS. Text that is
// not valid UTF-8 is repaired first, so the summary is always valid and never splits a character.
std::string summary(std::string_view details);

}  // namespace nudgerly::FeedbackSubmissionPolicy
