#include "state/SnapshotMemo.h"

#include <algorithm>

#include "core/CancelledError.h"
#include "core/Text.h"
#include "review/PassivePolicyNoticeSurfacePolicy.h"
#include "review/SenderExclusionPolicy.h"

namespace nudgerly {

bool SnapshotMemo::isHidden(const ReviewItem& item) {
    if (item.source == ReviewSource::messages) {
        return SenderExclusionPolicy::excludes(item.source, item.person, false);
    }
    return PassivePolicyNoticeSurfacePolicy::excludes(item.source,
                                                      item.summary + " " + item.context + " " + item.verdict);
}

std::string SnapshotMemo::searchText(const ReviewItem& item) {
    std::string text = item.person + " " + item.summary + " " + item.verdict + " ";
    for (std::size_t i = 0; i < item.tags.size(); ++i) {
        text += i == 0 ? item.tags[i] : " " + item.tags[i];
    }
    return text::lowercased(text);
}

namespace {

// One answer per item of the snapshot, `stop` looked at before each.
template <typename Answer>
std::vector<Answer> eachItem(const ReviewSnapshot& snapshot, Answer (*answer)(const ReviewItem&),
                             const std::stop_token& stop = {}) {
    std::vector<Answer> answers;
    answers.reserve(snapshot.items.size());
    for (const ReviewItem& item : snapshot.items) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        answers.push_back(answer(item));
    }
    return answers;
}

SearchTexts searchTexts(const ReviewSnapshot& snapshot, const std::stop_token& stop = {}) {
    SearchTexts texts;
    texts.reserve(snapshot.items.size());
    for (const ReviewItem& item : snapshot.items) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        texts.add(SnapshotMemo::searchText(item));
    }
    return texts;
}

}  // namespace

SnapshotMemo::Answers SnapshotMemo::workOut(const ReviewSnapshot& snapshot, std::stop_token stop) {
    Answers answers;
    answers.hidden = eachItem(snapshot, &isHidden, stop);
    answers.searchTexts = searchTexts(snapshot, stop);
    return answers;
}

SnapshotMemo::Entry& SnapshotMemo::entry(const std::shared_ptr<const ReviewSnapshot>& snapshot) {
    // A snapshot that is gone may leave its address to a new one: only a live entry can match.
    std::erase_if(entries_, [](const Entry& e) { return e.snapshot.expired(); });
    const auto found = std::ranges::find(entries_, snapshot.get(), &Entry::address);
    if (found != entries_.end()) {
        return *found;
    }
    if (entries_.size() >= 8) {
        entries_.erase(entries_.begin());
    }
    return entries_.emplace_back(Entry{snapshot, snapshot.get(), std::make_shared<Answers>()});
}

void SnapshotMemo::adopt(const std::shared_ptr<const ReviewSnapshot>& snapshot, Answers answers) {
    if (answers.hidden.size() == snapshot->items.size() && answers.searchTexts.size() == snapshot->items.size()) {
        entry(snapshot).answers = std::make_shared<Answers>(std::move(answers));
    }
}

std::shared_ptr<const SnapshotMemo::Answers> SnapshotMemo::answers(
    const std::shared_ptr<const ReviewSnapshot>& snapshot, bool withSearchTexts) {
    const std::shared_ptr<Answers> shared = entry(snapshot).answers;
    Answers& answers = *shared;
    if (answers.hidden.size() != snapshot->items.size()) {
        answers.hidden = eachItem(*snapshot, &isHidden);
    }
    if (withSearchTexts && answers.searchTexts.size() != snapshot->items.size()) {
        answers.searchTexts = searchTexts(*snapshot);
    }
    return shared;
}

}  // namespace nudgerly
