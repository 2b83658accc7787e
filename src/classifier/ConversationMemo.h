#pragma once

#include <map>
#include <optional>
#include <string>
#include <unordered_map>

#include "review/Conversation.h"

namespace nudgerly {

// Remembers, for every conversation of each source's last run, the values the classifier derives from
// the conversation's coded fields alone: its fingerprint and, once an item was built for it, its
// completion key and whether it uses urgent wording. A refresh sees mostly unchanged conversations;
// comparing their fields is far cheaper than encoding, hashing and searching them again, and just as
// exact. Not thread-safe: the classifier uses it only while it holds its run gate.
class ConversationMemo {
public:
    struct Derived {
        std::string fingerprint;
        std::optional<std::optional<std::string>> completionKey;  // outer: not yet computed
        std::optional<bool> urgentWording;
    };

    // What was derived last time, when every coded field is still the same; it is then kept for the
    // next run as well. The pointer stays valid until finishRun().
    Derived* reuse(const Conversation& conversation);
    // Starts the record of a conversation that is new or changed.
    Derived* remember(const Conversation& conversation, std::string fingerprint);
    // Makes what this run kept the memo of its sources; older entries of those sources go.
    void finishRun();

private:
    struct Entry {
        Conversation coded;  // only the fields that go into the fingerprint
        Derived derived;
    };
    using Entries = std::unordered_map<std::string, Entry>;

    std::map<ReviewSource, Entries> current_;
    std::map<ReviewSource, Entries> next_;
};

}  // namespace nudgerly
