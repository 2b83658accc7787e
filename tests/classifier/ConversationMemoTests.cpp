#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "classifier/ClassificationCachePolicy.h"
#include "classifier/ConversationMemo.h"

namespace nudgerly {
namespace {

using nlohmann::json;

Conversation sample() {
    return {.id = "c1",
            .source = ReviewSource::gmail,
            .person = "Dana",
            .target = "dana@example.com",
            .subject = "Lunch",
            .messages = {{.fromMe = false, .text = "Free on Friday?", .date = Date{0.0}},
                         {.fromMe = true, .text = "Let me check", .date = Date{100.5}}},
            .openURL = "https://mail.example.com/t/1",
            .isKnownContact = true};
}

// Whether the memo hands back what it derived from `sample()` for `changed`.
bool remembered(const Conversation& changed) {
    ConversationMemo memo;
    const Conversation original = sample();
    memo.remember(original, ClassificationCachePolicy::fingerprint(original));
    memo.finishRun();
    return memo.reuse(changed) != nullptr;
}

// Replacement values for one JSON value: every leaf gets a few, an enumeration's string one of the
// known raw values; whatever does not decode is dropped later.
std::vector<json> alternatives(const json& value) {
    switch (value.type()) {
        case json::value_t::boolean: return {!value.get<bool>()};
        case json::value_t::number_integer:
        case json::value_t::number_unsigned:
        case json::value_t::number_float: {
            const double x = value.get<double>();
            return {std::nextafter(x, std::numeric_limits<double>::infinity()), -x};  // -x: 0 becomes -0
        }
        case json::value_t::string: return {value.get<std::string>() + "x", "messages", "gmail"};
        default: return {};
    }
}

struct Change {
    std::string path;
    json encoded;
};

// Every single change to the coded form: each leaf replaced, each member left out, each array one
// element shorter and one longer.
void collectChanges(const json& root, const json::json_pointer& at, std::vector<Change>& changes,
                    std::set<std::string>& leaves) {
    const json& value = root[at];
    const auto replaced = [&](const json& by) {
        json changed = root;
        changed[at] = by;
        changes.push_back({at.to_string(), std::move(changed)});
    };
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            json without = root;
            without[at].erase(key);
            changes.push_back({(at / key).to_string(), std::move(without)});
            collectChanges(root, at / key, changes, leaves);
        }
    } else if (value.is_array()) {
        json shorter = value, longer = value;
        shorter.erase(shorter.end() - 1);
        longer.push_back(value.back());
        replaced(shorter);
        replaced(longer);
        for (std::size_t i = 0; i < value.size(); ++i) {
            collectChanges(root, at / i, changes, leaves);
        }
    } else {
        leaves.insert(at.to_string());
        for (const json& by : alternatives(value)) {
            replaced(by);
        }
    }
}

// The changes are found by walking the conversation's own encoding, so a field added to the coding is
// covered here without being named: whatever the fingerprint sees, the memo must notice, down to a
// date's last bit and its sign.
TEST(ConversationMemoTests, NoticesEveryChangeOfEveryCodedField) {
    EXPECT_TRUE(remembered(sample()));

    // Walked in the fingerprint's own coding, where every tried value is a change the hash sees.
    const JsonCoding coding{DateCoding::unixSeconds};
    const json encoded = sample().toJson(coding);
    std::vector<Change> changes;
    std::set<std::string> leaves;
    collectChanges(encoded, json::json_pointer(), changes, leaves);

    const std::string original = ClassificationCachePolicy::fingerprint(sample());
    std::set<std::string> covered;
    for (const Change& change : changes) {
        Conversation changed;
        try {
            changed = Conversation::fromJson(change.encoded, coding);
        } catch (const JsonDecodingError&) {
            continue;  // not a conversation any more (a required member gone, an unknown source)
        }
        if (ClassificationCachePolicy::fingerprint(changed) == original) {
            continue;
        }
        covered.insert(change.path);
        EXPECT_FALSE(remembered(changed)) << change.path << " changed to " << change.encoded.dump();
    }
    for (const std::string& leaf : leaves) {
        EXPECT_TRUE(covered.contains(leaf)) << "no change tried for " << leaf;
    }
    EXPECT_TRUE(covered.contains("/messages/1/date"));
    EXPECT_TRUE(covered.contains("/isKnownContact"));

    // The same instant, but the completion key the memo also keeps encodes it differently.
    Conversation negativeZero = sample();
    negativeZero.messages[0].date = Date{-0.0};
    EXPECT_FALSE(remembered(negativeZero));
}

TEST(ConversationMemoTests, WhatTheCodingLeavesOutCostsNoNewFingerprint) {
    Conversation shownDifferently = sample();
    shownDifferently.messages[0].displayText = "Free on Friday? (merged)";
    shownDifferently.messages[0].linkPreview =
        MessageLinkPreview{std::nullopt, "example.com", "https://example.com", std::nullopt};
    shownDifferently.messages[0].senderKey = 7;
    shownDifferently.messages[0].senderIdentifier = "+15551234567";
    shownDifferently.messages[0].messageID = 42;
    EXPECT_TRUE(remembered(shownDifferently));
    EXPECT_EQ(ClassificationCachePolicy::fingerprint(shownDifferently),
              ClassificationCachePolicy::fingerprint(sample()));
}

}  // namespace
}  // namespace nudgerly
