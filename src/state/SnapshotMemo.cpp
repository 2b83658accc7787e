#include "state/SnapshotMemo.h"

#include <algorithm>

#include "core/Text.h"
#include "review/PassivePolicyNoticeSurfacePolicy.h"
#include "review/SenderExclusionPolicy.h"

namespace nudgerly {

bool SnapshotMemo::isHidden(const ReviewItem& item) {
    if (item.source == ReviewSource::messages) {
        return SenderExclusionPolicy::excludes(item.source, item.person, false);
    }
    return PassivePolicyNoticeSurfacePolicy::excludes(item.source, item.summary + " " + item.context + " " + item.verdict);
}

std::string SnapshotMemo::searchText(const ReviewItem& item) {
    std::string text = item.person + " " + item.summary + " " + item.verdict + " ";
    for (std::size_t i = 0; i < item.tags.size(); ++i) {
        text += i == 0 ? item.tags[i] : " " + item.tags[i];
    }
    return text::lowercased(text);
}

const SnapshotMemo::Answers& SnapshotMemo::answers(const std::shared_ptr<const ReviewSnapshot>& snapshot,
                                                   bool withSearchTexts) {
    // A snapshot that is gone may leave its address to a new one: only a live entry can match.
    std::erase_if(entries_, [](const Entry& e) { return e.snapshot.expired(); });
    auto found = std::ranges::find(entries_, snapshot.get(), &Entry::address);
    if (found == entries_.end()) {
        if (entries_.size() >= 8) {
            entries_.erase(entries_.begin());
        }
        Entry made{snapshot, snapshot.get(), {}};
        made.answers.hidden.reserve(snapshot->items.size());
        for (const ReviewItem& item : snapshot->items) {
            made.answers.hidden.push_back(isHidden(item));
        }
        found = entries_.insert(entries_.end(), std::move(made));
    }
    Answers& answers = found->answers;
    if (withSearchTexts && answers.searchTexts.size() != snapshot->items.size()) {
        answers.searchTexts.reserve(snapshot->items.size());
        for (const ReviewItem& item : snapshot->items) {
            answers.searchTexts.push_back(searchText(item));
        }
    }
    return answers;
}

}  // namespace nudgerly
