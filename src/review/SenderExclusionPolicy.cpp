#include "review/SenderExclusionPolicy.h"

#include <set>
#include <vector>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "core/Text.h"

namespace nudgerly::SenderExclusionPolicy {
namespace {

// Names matched whole.
const std::set<std::string>& excludedMessagesSenders() {
    static const std::set<std::string> names{"voicemail"};
    return names;
}

// Roots matched whole or as a name's first word.
const std::vector<std::string>& excludedMessagesBusinessRoots() {
    static const std::vector<std::string> roots{"noreply"};
    return roots;
}

bool isWordCharacter(UChar32 c) {
    // Letters and numbers; combining marks stay with the letter they modify.
    const int32_t mask = U_GET_GC_MASK(c);
    return (mask & (U_GC_L_MASK | U_GC_N_MASK | U_GC_M_MASK)) != 0;
}

}  // namespace

std::string normalizedName(std::string_view person) {
    const std::string lower = text::lowercased(person);
    const auto* data = reinterpret_cast<const uint8_t*>(lower.data());
    const auto length = static_cast<int32_t>(lower.size());
    std::string result;
    bool inRun = false;
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(data, i, length, c);
        if (isWordCharacter(c)) {
            if (!inRun && !result.empty()) {
                result += ' ';
            }
            result.append(lower, static_cast<std::size_t>(start), static_cast<std::size_t>(i - start));
            inRun = true;
        } else {
            inRun = false;
        }
    }
    return result;
}

bool excludes(ReviewSource source, std::string_view person, bool isBusinessContact) {
    if (source == ReviewSource::gmail) {
        return false;
    }
    if (isBusinessContact) {
        return true;
    }
    const std::string name = normalizedName(person);
    if (excludedMessagesSenders().contains(name)) {
        return true;
    }
    for (const auto& root : excludedMessagesBusinessRoots()) {
        if (name == root || name.starts_with(root + " ")) {
            return true;
        }
    }
    return false;
}

}  // namespace nudgerly::SenderExclusionPolicy
