#include "ui/shared/ReviewDisplay.h"

#include <algorithm>
#include <cctype>

#include "core/Text.h"

namespace nudgerly::ReviewDisplay {

std::string_view sourceName(ReviewSource source) {
    return source == ReviewSource::messages ? "Messages" : "Gmail";
}

std::string_view sourceSymbol(ReviewSource source) {
    return source == ReviewSource::messages ? "message.fill" : "envelope.fill";
}

Tone sourceTone(ReviewSource source) {
    return source == ReviewSource::messages ? Tone::green : Tone::red;
}

std::string_view statusName(ReviewStatus status) {
    switch (status) {
        case ReviewStatus::reply: return "Reply";
        case ReviewStatus::action: return "Take action";
        case ReviewStatus::nudgerly: return "Optional";
    }
    return "";
}

std::string statusCaption(ReviewStatus status) {
    std::string caption(statusName(status));
    std::ranges::transform(caption, caption.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return caption;
}

Tone statusTone(ReviewStatus status) {
    switch (status) {
        case ReviewStatus::reply: return Tone::red;
        case ReviewStatus::action: return Tone::blue;
        case ReviewStatus::nudgerly: return Tone::orange;
    }
    return Tone::secondary;
}

bool hasReplyToCopy(const ReviewItem& item) {
    return item.draft && !text::isBlank(*item.draft);
}

}  // namespace nudgerly::ReviewDisplay
