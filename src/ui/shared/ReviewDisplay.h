#pragma once

#include <string>
#include <string_view>

#include "review/ReviewItem.h"
#include "review/ReviewSource.h"
#include "review/ReviewStatus.h"
#include "ui/kit/Tone.h"

// How sources and statuses are named, drawn and coloured across the window.
namespace nudgerly::ReviewDisplay {

// "Messages", "Gmail".
std::string_view sourceName(ReviewSource source);
// "message.fill", "envelope.fill".
std::string_view sourceSymbol(ReviewSource source);
// Messages green, Gmail red.
Tone sourceTone(ReviewSource source);

// "Reply", "Take action", "Optional".
std::string_view statusName(ReviewStatus status);
// The name in upper case, as on badges and group headers: "REPLY", "TAKE ACTION", "OPTIONAL".
std::string statusCaption(ReviewStatus status);
// Reply red, action blue, optional orange.
Tone statusTone(ReviewStatus status);

// Whether the item's suggested reply has words to copy: present, and not only white space.
bool hasReplyToCopy(const ReviewItem& item);

}  // namespace nudgerly::ReviewDisplay
