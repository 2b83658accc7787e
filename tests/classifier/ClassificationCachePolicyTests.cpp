#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "classifier/ClassificationCachePolicy.h"
#include "core/JsonWriter.h"
#include "core/Sha256.h"

namespace nudgerly {
namespace {

namespace Cache = ClassificationCachePolicy;

// Sets or removes an environment variable for one test and puts the old state back afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnvironment() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

Conversation sampleConversation() {
    return {
        .id = "chat-7",
        .source = ReviewSource::messages,
        .person = "Ana",
        .target = "+15550100",
        .messages = {{.fromMe = false, .text = "See https://x.y", .date = Date::fromUnix(1772357400.5)}},
        .openURL = "sms:+15550100",
        .isKnownContact = true,
    };
}

Classification queued(std::string summary = "Asked about lunch") {
    return {.needsAction = true,
            .status = ReviewStatus::reply,
            .confidence = 0.9,
            .summary = std::move(summary),
            .reason = "Direct question",
            .draft = "Friday works!",
            .tags = {"social"},
            .sensitive = false};
}

ModelPack pack() {
    return {.identifier = "qwen3-4b", .sha256 = "ab12"};
}

TEST(ClassificationCachePolicyTests, EngineSignatureNamesTheModelOnlyWhenItCanRun) {
    EXPECT_EQ(Cache::engineSignature(ModelAvailability::bundled(), pack()),
              "local-model:qwen3-4b:ab12|runtime:llama.cpp-b9000");
    EXPECT_EQ(Cache::engineSignature(ModelAvailability::missing(), pack()), "heuristic-fallback");
    EXPECT_EQ(Cache::engineSignature(ModelAvailability::unavailable("no"), pack()), "heuristic-fallback");
    ModelPack other = pack();
    other.sha256 = "cd34";
    EXPECT_NE(Cache::engineSignature(ModelAvailability::bundled(), other),
              Cache::engineSignature(ModelAvailability::bundled(), pack()));
}

TEST(ClassificationCachePolicyTests, EitherOverrideVariableDisablesCaching) {
    {
        ScopedEnvironment path("NUDGERLY_MODEL_PATH", nullptr);
        ScopedEnvironment server("NUDGERLY_LLAMA_SERVER", nullptr);
        EXPECT_TRUE(Cache::allowsPersistentCaching());
    }
    {
        ScopedEnvironment path("NUDGERLY_MODEL_PATH", "");  // presence alone counts
        ScopedEnvironment server("NUDGERLY_LLAMA_SERVER", nullptr);
        EXPECT_FALSE(Cache::allowsPersistentCaching());
    }
    {
        ScopedEnvironment path("NUDGERLY_MODEL_PATH", nullptr);
        ScopedEnvironment server("NUDGERLY_LLAMA_SERVER", "/opt/llama-server");
        EXPECT_FALSE(Cache::allowsPersistentCaching());
    }
}

TEST(ClassificationCachePolicyTests, FingerprintHashesTheSortedEncodingWithUnixDates) {
    const std::string expected =
        R"({"id":"chat-7","isKnownContact":true,"messages":[{"date":1772357400.5,"fromMe":false,)"
        R"("text":"See https:\/\/x.y"}],"openURL":"sms:+15550100","person":"Ana","source":"messages",)"
        R"("target":"+15550100"})";
    EXPECT_EQ(Cache::fingerprint(sampleConversation()), Sha256::hexDigest(expected));
}

TEST(ClassificationCachePolicyTests, FingerprintFollowsContentButNotPresentation) {
    const std::string base = Cache::fingerprint(sampleConversation());
    ASSERT_EQ(base.size(), 64u);

    const std::vector<std::function<void(Conversation&)>> ignored = {
        [](Conversation& c) { c.messages[0].displayText = "shown"; },
        [](Conversation& c) { c.messages[0].linkPreview = MessageLinkPreview{.domain = "x.y", .url = "https://x.y"}; },
        [](Conversation& c) { c.messages[0].senderKey = 4; },
        [](Conversation& c) { c.messages[0].senderIdentifier = "+15550100"; },
        [](Conversation& c) { c.messages[0].messageID = 99; },
    };
    for (const auto& change : ignored) {
        Conversation c = sampleConversation();
        change(c);
        EXPECT_EQ(Cache::fingerprint(c), base);
    }

    const std::vector<std::function<void(Conversation&)>> covered = {
        [](Conversation& c) { c.messages.push_back({.fromMe = true, .text = "ok", .date = Date::fromUnix(1772357500)}); },
        [](Conversation& c) { c.messages[0].text += "!"; },
        [](Conversation& c) { c.messages[0].fromMe = true; },
        [](Conversation& c) { c.messages[0].date = c.messages[0].date.addingSeconds(0.25); },
        [](Conversation& c) { c.person = "Ana Ruiz"; },
        [](Conversation& c) { c.isKnownContact = false; },
        [](Conversation& c) { c.subject = "Lunch"; },
        [](Conversation& c) { c.id = "chat-8"; },
    };
    for (const auto& change : covered) {
        Conversation c = sampleConversation();
        change(c);
        EXPECT_NE(Cache::fingerprint(c), base);
    }

    Conversation invalid = sampleConversation();
    invalid.messages[0].text = "bad \xff byte";
    EXPECT_EQ(Cache::fingerprint(invalid).size(), 64u);
    invalid.messages[0].date = Date{INFINITY};
    EXPECT_THROW(Cache::fingerprint(invalid), JsonEncodingError);
}

CachedConversationClassification entry(std::string id, std::string fingerprint, std::optional<Classification> c,
                                       std::string signature = "sig", int64_t revision = 11) {
    return {.source = ReviewSource::messages,
            .conversationID = std::move(id),
            .fingerprint = std::move(fingerprint),
            .classifierRevision = revision,
            .engineSignature = std::move(signature),
            .needsAction = c.has_value(),
            .classification = std::move(c)};
}

TEST(ClassificationCachePolicyTests, ReuseTableKeepsOnlyCurrentEntriesLaterWins) {
    ReviewSnapshot previous;
    previous.classificationCache = {
        entry("a", "old", std::nullopt),
        entry("b", "fb", std::nullopt, "sig", 10),
        entry("c", "fc", std::nullopt, "other"),
        entry("a", "new", queued()),
    };
    const auto table = Cache::reuseTable(&previous, "sig", true);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.at({ReviewSource::messages, "a"}).fingerprint, "new");

    EXPECT_TRUE(Cache::reuseTable(&previous, "sig", false).empty());
    EXPECT_TRUE(Cache::reuseTable(nullptr, "sig", true).empty());
    previous.classificationCache.reset();
    EXPECT_TRUE(Cache::reuseTable(&previous, "sig", true).empty());
}

TEST(ClassificationCachePolicyTests, ReusesOnlySoundDecisionsForUnchangedConversations) {
    Conversation c = sampleConversation();
    const auto reuse = [&](bool needsAction, std::optional<Classification> stored, std::string fingerprint = "fp") {
        ReviewSnapshot previous;
        previous.classificationCache = {entry(c.id, "fp", std::move(stored))};
        previous.classificationCache->front().needsAction = needsAction;
        return Cache::reusedClassification(Cache::reuseTable(&previous, "sig", true), c, fingerprint);
    };

    // Nothing owed: the blank decision is rebuilt.
    EXPECT_EQ(reuse(false, std::nullopt), (Classification{.needsAction = false, .confidence = 1.0}));
    EXPECT_EQ(reuse(true, queued()), queued());
    EXPECT_EQ(reuse(true, queued(), "changed"), std::nullopt);
    EXPECT_EQ(reuse(true, std::nullopt), std::nullopt);

    // Characters, not bytes: 400 combined characters pass, 401 do not.
    std::string combined;
    for (int i = 0; i < 400; ++i) {
        combined += "e\u0301";
    }
    EXPECT_EQ(reuse(true, queued(combined)), queued(combined));
    EXPECT_EQ(reuse(true, queued(combined + "x")), std::nullopt);

    const std::vector<std::function<void(Classification&)>> unsound = {
        [](Classification& k) { k.status.reset(); },
        [](Classification& k) { k.needsAction = false; },
        [](Classification& k) { k.confidence = 1.5; },
        [](Classification& k) { k.confidence = -0.1; },
        [](Classification& k) { k.confidence = NAN; },
        [](Classification& k) { k.reason = std::string(401, 'r'); },
    };
    for (const auto& spoil : unsound) {
        Classification k = queued();
        spoil(k);
        EXPECT_EQ(reuse(true, k), std::nullopt);
    }

    // Same identifier, other source.
    c.source = ReviewSource::gmail;
    EXPECT_EQ(reuse(true, queued()), std::nullopt);
}

TEST(ClassificationCachePolicyTests, NewEntriesStoreTheDecisionOnlyWhenItAsksForAttention) {
    const Conversation c = sampleConversation();
    const auto kept = Cache::cacheEntry(c, "fp", "sig", queued());
    EXPECT_EQ(kept.conversationID, "chat-7");
    EXPECT_EQ(kept.classifierRevision, 11);
    EXPECT_TRUE(kept.needsAction);
    EXPECT_EQ(kept.classification, queued());

    const auto quiet = Cache::cacheEntry(c, "fp", "sig", Classification{.needsAction = false, .confidence = 0.8});
    EXPECT_FALSE(quiet.needsAction);
    EXPECT_EQ(quiet.classification, std::nullopt);
}

}  // namespace
}  // namespace nudgerly
