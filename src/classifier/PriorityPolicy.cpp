#include "classifier/PriorityPolicy.h"

#include <algorithm>
#include <cmath>

#include "core/Text.h"

namespace nudgerly::PriorityPolicy {
namespace {

constexpr int urgentBonus = 25;
constexpr int directQuestionBonus = 10;
constexpr int sensitiveBonus = 8;
constexpr double secondsPerDay = 86400;
constexpr double maximumAgeDays = 20;

const Regex& urgentWording() {
    static const Regex pattern(
        R"(\b(urgent|asap|immediately|today|tomorrow|due|past due|deadline|final notice|fraud|security alert|wire transfer|by (monday|tuesday|wednesday|thursday|friday|saturday|sunday))\b)",
        Regex::caseInsensitive);
    return pattern;
}

int baseScore(ReviewStatus status) {
    switch (status) {
        case ReviewStatus::reply: return 70;
        case ReviewStatus::action: return 65;
        case ReviewStatus::nudgerly: return 25;
    }
    return 0;
}

// Whole days of age, 0 to 20. Dates from broken sources can be far off or not numbers at all, so the
// day count is clamped before it becomes an integer; a future or unknown date counts as new.
int ageDays(Date sent, Date now) {
    const double days = std::trunc(now.secondsSince(sent) / secondsPerDay);
    if (!(days > 0)) {
        return 0;
    }
    return static_cast<int>(std::min(days, maximumAgeDays));
}

bool mentionsDirectAsk(const std::vector<std::string>& tags) {
    return std::any_of(tags.begin(), tags.end(), [](const std::string& tag) {
        return text::lowercased(tag).find("direct ask") != std::string::npos;
    });
}

}  // namespace

bool hasUrgentWording(const Conversation& conversation) {
    if (conversation.messages.empty()) {
        return false;
    }
    const std::string& latestText = conversation.messages.back().text;
    return urgentWording().search(
        text::lowercased(conversation.subject ? *conversation.subject + " " + latestText : latestText));
}

int score(const Conversation& conversation, const Classification& classification, Date now) {
    return score(conversation, classification, now, hasUrgentWording(conversation));
}

int score(const Conversation& conversation, const Classification& classification, Date now, bool urgentWording) {
    if (!classification.status || conversation.messages.empty()) {
        return 0;
    }
    const ConversationMessage& latest = conversation.messages.back();
    int total = baseScore(*classification.status);
    if (urgentWording) {
        total += urgentBonus;
    }
    if (classification.status == ReviewStatus::reply &&
        (latest.text.find('?') != std::string::npos || mentionsDirectAsk(classification.tags))) {
        total += directQuestionBonus;
    }
    if (classification.sensitive) {
        total += sensitiveBonus;
    }
    return total + ageDays(latest.date, now);
}

std::vector<const Regex*> patterns() {
    return {&urgentWording()};
}

}  // namespace nudgerly::PriorityPolicy
