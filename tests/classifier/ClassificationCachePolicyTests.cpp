#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "classifier/ClassificationCachePolicy.h"
#include "core/JsonWriter.h"
#include "core/Sha256.h"
#include "files/TempDir.h"

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
            .tags = {"social"}};
}

TEST(ClassificationCachePolicyTests, EngineSignatureAndCachingGate) {
    const ModelPack pack{.identifier = "qwen3-4b", .sha256 = "ab12"};
    EXPECT_EQ(Cache::engineSignature(ModelAvailability::bundled(), pack),
              "local-model:qwen3-4b:ab12|runtime:llama.cpp-b9000");
    EXPECT_EQ(Cache::engineSignature(ModelAvailability::missing(), pack), "heuristic-fallback");
    EXPECT_EQ(Cache::engineSignature(ModelAvailability::unavailable("no"), pack), "heuristic-fallback");

    // Presence alone of either override variable disables caching, even with an empty value.
    for (const auto& [path, server, allowed] : std::vector<std::tuple<const char*, const char*, bool>>{
             {nullptr, nullptr, true}, {"", nullptr, false}, {nullptr, "/opt/llama-server", false}}) {
        ScopedEnvironment pathVariable("NUDGERLY_MODEL_PATH", path);
        ScopedEnvironment serverVariable("NUDGERLY_LLAMA_SERVER", server);
        EXPECT_EQ(Cache::allowsPersistentCaching(), allowed);
    }
}

TEST(ClassificationCachePolicyTests, AModelFileOutsideThePackIsKnownByItsOwnSignature) {
    const test::TempDir folder;
    const auto file = folder.path() / "Qwen3-4B-Q4_K_M.gguf";
    EXPECT_EQ(Cache::fileSignature(file), std::nullopt);
    test::writeTestFile(file, "first model");
    const auto first = Cache::fileSignature(file);
    ASSERT_TRUE(first);
    const ModelPack pack{.identifier = "qwen3-4b", .sha256 = "ab12"};
    EXPECT_EQ(Cache::engineSignature(ModelAvailability::bundled(), pack, first),
              "local-model:qwen3-4b:file-" + *first + "|runtime:llama.cpp-b9000");

    // Another file of the same size put in its place, and one of another size at the same time.
    const auto time = std::filesystem::last_write_time(file);
    test::writeTestFile(file, "other model");
    std::filesystem::last_write_time(file, time + std::chrono::seconds(1));
    EXPECT_NE(Cache::fileSignature(file), first);
    test::writeTestFile(file, "a larger model");
    std::filesystem::last_write_time(file, time);
    EXPECT_NE(Cache::fileSignature(file), first);
}

TEST(ClassificationCachePolicyTests, FingerprintFollowsContentButNotPresentation) {
    const std::string base = Cache::fingerprint(sampleConversation());
    EXPECT_EQ(base, Sha256::hexDigest(
                        R"({"id":"chat-7","isKnownContact":true,"messages":[{"date":1772357400.5,"fromMe":false,)"
                        R"("text":"See https:\/\/x.y"}],"openURL":"sms:+15550100","person":"Ana","source":"messages",)"
                        R"("target":"+15550100"})"));

    const std::vector<std::function<void(Conversation&)>> ignored = {
        [](Conversation& c) { c.messages[0].displayText = "shown"; },
        [](Conversation& c) { c.messages[0].linkPreview = MessageLinkPreview{.domain = "x.y", .url = "https://x.y"}; },
        [](Conversation& c) { c.messages[0].senderIdentifier = "+15550100"; },
    };
    for (const auto& change : ignored) {
        Conversation c = sampleConversation();
        change(c);
        EXPECT_EQ(Cache::fingerprint(c), base);
    }

    const std::vector<std::function<void(Conversation&)>> covered = {
        [](Conversation& c) {
            c.messages.push_back({.fromMe = true, .text = "ok", .date = Date::fromUnix(1772357500)});
        },
        [](Conversation& c) { c.messages[0].text += "!"; },
        [](Conversation& c) { c.messages[0].date = c.messages[0].date.addingSeconds(0.25); },
        [](Conversation& c) { c.person = "Ana Ruiz"; },
        [](Conversation& c) { c.isKnownContact = false; },
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

TEST(ClassificationCachePolicyTests, EntriesOfThisRevisionAndEngineAreReusedLaterWins) {
    const Conversation c = sampleConversation();
    const Classification quiet{.needsAction = false, .confidence = 0.4, .summary = "Thanks"};
    ReviewSnapshot previous;
    previous.classificationCache = {Cache::cacheEntry(c, "fp", "sig", queued()),
                                    Cache::cacheEntry(c, "fp", "sig", quiet)};
    EXPECT_EQ(previous.classificationCache->back().classification, std::nullopt);  // only the flag is stored

    // A later duplicate wins; nothing owed comes back as the blank decision.
    const Classification blank{.needsAction = false, .confidence = 1.0};
    EXPECT_EQ(Cache::reusedClassification(Cache::reuseTable(&previous, "sig", true), c, "fp"), blank);
    EXPECT_EQ(Cache::reusedClassification(Cache::reuseTable(&previous, "sig", true), c, "changed"), std::nullopt);

    previous.classificationCache->pop_back();
    EXPECT_EQ(Cache::reusedClassification(Cache::reuseTable(&previous, "sig", true), c, "fp"), queued());
    EXPECT_TRUE(Cache::reuseTable(&previous, "other engine", true).empty());
    EXPECT_TRUE(Cache::reuseTable(&previous, "sig", false).empty());
    EXPECT_TRUE(Cache::reuseTable(nullptr, "sig", true).empty());
    previous.classificationCache->front().classifierRevision = 10;
    EXPECT_TRUE(Cache::reuseTable(&previous, "sig", true).empty());

    Conversation otherSource = c;
    otherSource.source = ReviewSource::gmail;
    previous.classificationCache->front().classifierRevision = 11;
    EXPECT_EQ(Cache::reusedClassification(Cache::reuseTable(&previous, "sig", true), otherSource, "fp"), std::nullopt);
}

TEST(ClassificationCachePolicyTests, StoredDecisionsOutOfBoundsAreNotReused) {
    const Conversation c = sampleConversation();
    const auto reuse = [&](std::optional<Classification> stored) {
        ReviewSnapshot previous;
        previous.classificationCache = {Cache::cacheEntry(c, "fp", "sig", queued())};
        previous.classificationCache->front().classification = std::move(stored);
        return Cache::reusedClassification(Cache::reuseTable(&previous, "sig", true), c, "fp");
    };

    // Characters, not bytes: 400 combined characters pass, 401 do not.
    std::string combined;
    for (int i = 0; i < 400; ++i) {
        combined += "e\u0301";
    }
    EXPECT_EQ(reuse(queued(combined)), queued(combined));
    EXPECT_EQ(reuse(queued(combined + "x")), std::nullopt);
    EXPECT_EQ(reuse(std::nullopt), std::nullopt);

    const std::vector<std::function<void(Classification&)>> unsound = {
        [](Classification& k) { k.status.reset(); },
        [](Classification& k) { k.needsAction = false; },
        [](Classification& k) { k.confidence = 1.5; },
        [](Classification& k) { k.confidence = NAN; },
        [](Classification& k) { k.reason = std::string(401, 'r'); },
    };
    for (const auto& spoil : unsound) {
        Classification k = queued();
        spoil(k);
        EXPECT_EQ(reuse(k), std::nullopt);
    }
}

}  // namespace
}  // namespace nudgerly
