#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "classifier/ConversationClassifier.h"
#include "localmodel/LocalModelClient.h"
#include "queues/ManualMainQueue.h"
#include "support/StandInServer.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::StandInScenario;

Conversation conversation(std::string id, std::string text) {
    return {.id = std::move(id),
            .source = ReviewSource::messages,
            .person = "Robin",
            .messages = {{.fromMe = false, .text = std::move(text), .date = Date{790'000'000}}}};
}

json answer(const char* status, const char* summary) {
    const json decision = {{"include_in_queue", status != nullptr},
                           {"status", status ? json(status) : json()},
                           {"confidence", 0.8},
                           {"summary", summary},
                           {"reason", "From the model"},
                           {"draft", nullptr},
                           {"tags", json::array()},
                           {"sensitive", false}};
    return {{"content", "Here you go: " + decision.dump() + " Done."}};
}

class ClassifierEndToEndTests : public ::testing::Test {
protected:
    void TearDown() override {
        if (model) {
            model->shutdown();
        }
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!test::remainingStandIns().empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_TRUE(test::remainingStandIns().empty()) << "a stand-in server outlived its test";
        test::killRemainingStandIns();
    }

    SnapshotClassificationResult run(ConversationClassifier& classifier, const ConversationBatch& batch,
                                     const std::optional<ReviewSnapshot>& previous) {
        std::optional<SnapshotClassificationResult> result;
        std::atomic<bool> finished{false};  // `result` itself is read only after the join
        std::jthread worker([&] {
            result = classifier.makeSnapshotWithReport(batch, previous, {}, {});
            finished = true;
        });
        EXPECT_TRUE(mainQueue.runUntil([&] { return finished.load(); }, 30s));
        worker.join();
        return std::move(*result);
    }

    // A client of the scenario's server, kept for the tear-down's shutdown.
    std::shared_ptr<LocalModelClient> clientFor(const StandInScenario& scenario) {
        model = std::make_shared<LocalModelClient>(
            ModelPack::nudgerlyLarge(), test::testSettings(scenario.environment(), scenario.folder() / "data"));
        return model;
    }

    ManualMainQueue mainQueue;
    std::shared_ptr<LocalModelClient> model;
};

TEST_F(ClassifierEndToEndTests, ALocalModelServerClassifiesABatchAndTheCacheSparesItNextTime) {
    StandInScenario scenario(json::array(),
                             json::array({answer("nudgerly", "Maybe check in about Thursday"),
                                          answer("reply", "Tell them about the venue"), answer(nullptr, "")}));
    ConversationClassifier classifier(clientFor(scenario), mainQueue);
    const ConversationBatch batch{
        .generatedAt = Date{790'003'600},
        .lookbackDays = 7,
        .inboundEndingCount = 3,
        .conversations = {conversation("thursday", "The meeting moved to Thursday"),
                          conversation("venue", "We picked the venue downtown"),
                          conversation("photos", "The photos are on the drive")},
    };

    const auto first = run(classifier, batch, std::nullopt);
    EXPECT_EQ(scenario.chats().size(), 3u);
    ASSERT_EQ(first.snapshot.items.size(), 2u);
    EXPECT_EQ(first.snapshot.items[0].id, "venue");  // replies first
    EXPECT_EQ(first.snapshot.items[0].summary, "Tell them about the venue");
    EXPECT_EQ(first.snapshot.items[1].id, "thursday");
    EXPECT_EQ(first.snapshot.clearedCount, 1);
    EXPECT_TRUE(first.report.usedLocalModel);
    EXPECT_EQ(first.report.issue, std::nullopt);
    ASSERT_EQ(first.snapshot.classificationCache->size(), 3u);
    EXPECT_EQ(first.snapshot.classificationCache->at(0).engineSignature.rfind("local-model:qwen3-8b-q4-k-m-v1:", 0),
              0u);

    const auto second = run(classifier, batch, first.snapshot);
    EXPECT_EQ(scenario.chats().size(), 3u);  // nothing asked again
    EXPECT_EQ(second.snapshot.items, first.snapshot.items);
}

TEST_F(ClassifierEndToEndTests, DestroyingTheClassifierStopsTheServerOfItsClient) {
    StandInScenario scenario(json::array(), json::array({answer("reply", "Tell them about the venue")}));
    auto classifier = std::make_unique<ConversationClassifier>(
        std::make_shared<LocalModelClient>(ModelPack::nudgerlyLarge(),
                                           test::testSettings(scenario.environment(), scenario.folder() / "data")),
        mainQueue);
    const ConversationBatch batch{.generatedAt = Date{790'003'600},
                                  .lookbackDays = 7,
                                  .conversations = {conversation("venue", "We picked the venue downtown")}};
    EXPECT_EQ(run(*classifier, batch, std::nullopt).snapshot.items.size(), 1u);
    ASSERT_EQ(test::remainingStandIns().size(), 1u);

    classifier.reset();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!test::remainingStandIns().empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(test::remainingStandIns().empty());
}

TEST_F(ClassifierEndToEndTests, AConversationThatCannotBePutIntoAPromptFallsBackAlone) {
    StandInScenario scenario(json::array(), json::array({answer("reply", "Tell them about the venue")}));
    ConversationClassifier classifier(clientFor(scenario), mainQueue);
    // A date in the year 12,000 (a broken clock, a damaged database) has no prompt form.
    Conversation farFuture = conversation("far", "Can you send me the report by Friday?");
    farFuture.messages[0].date = Date{400'000'000'000};
    const ConversationBatch batch{
        .generatedAt = Date{790'003'600},
        .lookbackDays = 7,
        .inboundEndingCount = 2,
        .conversations = {farFuture, conversation("venue", "We picked the venue downtown")},
    };

    const auto result = run(classifier, batch, std::nullopt);
    EXPECT_EQ(scenario.chats().size(), 1u);  // the model still serves the next conversation
    EXPECT_TRUE(result.report.usedLocalModel);
    EXPECT_EQ(result.report.issue, std::nullopt);
    EXPECT_EQ(result.report.diagnosticCode, std::nullopt);
    ASSERT_EQ(result.snapshot.items.size(), 2u);
    EXPECT_EQ(result.snapshot.items[0].id, "far");  // Basic Mode's answer
    EXPECT_EQ(result.snapshot.items[1].id, "venue");
    EXPECT_EQ(result.snapshot.items[1].summary, "Tell them about the venue");
    ASSERT_EQ(result.snapshot.classificationCache->size(), 1u);  // Basic Mode's answer is not kept
    EXPECT_EQ(result.snapshot.classificationCache->at(0).conversationID, "venue");
}

TEST_F(ClassifierEndToEndTests, AnAnswerTheServerCannotReadFallsBackForItsConversationAlone) {
    // llama-server answers 500 when what the model wrote does not parse, and stays healthy.
    const json unreadable = {{"status", 500}, {"errorType", "server_error"}};
    StandInScenario scenario(json::array(),
                             json::array({unreadable, unreadable, answer("reply", "Tell them about the venue")}));
    ConversationClassifier classifier(clientFor(scenario), mainQueue);
    const ConversationBatch batch{
        .generatedAt = Date{790'003'600},
        .lookbackDays = 7,
        .inboundEndingCount = 2,
        .conversations = {conversation("thursday", "The meeting moved to Thursday"),
                          conversation("venue", "We picked the venue downtown")},
    };

    const auto result = run(classifier, batch, std::nullopt);
    EXPECT_EQ(scenario.launches().size(), 1u);  // never restarted
    EXPECT_EQ(scenario.chats().size(), 3u);     // full and compact prompt, then the next conversation
    EXPECT_TRUE(result.report.usedLocalModel);
    EXPECT_EQ(result.report.diagnosticCode, "invalid_model_response");
    ASSERT_EQ(result.snapshot.items.size(), 1u);  // Basic Mode lets the first one go
    EXPECT_EQ(result.snapshot.items[0].summary, "Tell them about the venue");
}

TEST_F(ClassifierEndToEndTests, AnAnswerPastTheLimitFallsBackAloneAndKeepsTheServer) {
    // Health answers at once while the first chat request is held far past the limit, as llama-server
    // does on a computer busy with other work.
    StandInScenario scenario(json::array(), json::array({{{"delayMs", 30000}, {"content", "{}"}},
                                                         answer("reply", "Tell them about the venue")}));
    auto settings = test::testSettings(scenario.environment(), scenario.folder() / "data");
    settings.requestTimeout = 500ms;
    model = std::make_shared<LocalModelClient>(ModelPack::nudgerlyLarge(), std::move(settings));
    ConversationClassifier classifier(model, mainQueue);
    const ConversationBatch batch{
        .generatedAt = Date{790'003'600},
        .lookbackDays = 7,
        .inboundEndingCount = 2,
        .conversations = {conversation("report", "Can you send me the report by Friday?"),
                          conversation("venue", "We picked the venue downtown")},
    };

    const auto result = run(classifier, batch, std::nullopt);
    EXPECT_EQ(scenario.launches().size(), 1u);
    EXPECT_EQ(scenario.chats().size(), 2u);  // no retry of the slow one; the next went to the same server
    EXPECT_TRUE(result.report.usedLocalModel);
    EXPECT_EQ(result.report.issue, std::nullopt);
    EXPECT_EQ(result.report.diagnosticCode, std::nullopt);
    ASSERT_EQ(result.snapshot.items.size(), 2u);
    for (const auto& item : result.snapshot.items) {
        if (item.id == "venue") {
            EXPECT_EQ(item.summary, "Tell them about the venue");
        } else {
            EXPECT_EQ(item.id, "report");  // Basic Mode's answer, not kept
        }
    }
    ASSERT_EQ(result.snapshot.classificationCache->size(), 1u);
    EXPECT_EQ(result.snapshot.classificationCache->at(0).conversationID, "venue");
}

TEST_F(ClassifierEndToEndTests, BasicModeClassifiesWithoutAnyServer) {
    StandInScenario scenario;
    auto environment = scenario.environment();
    environment->clear();  // no server program, no model file: Basic Mode
    model = std::make_shared<LocalModelClient>(ModelPack::nudgerlyDefault(),
                                               test::testSettings(environment, scenario.folder() / "data"));
    ConversationClassifier classifier(model, mainQueue);
    EXPECT_EQ(classifier.modelAvailability(), ModelAvailability::missing());
    const ConversationBatch batch{
        .generatedAt = Date{790'003'600},
        .lookbackDays = 7,
        .conversations = {conversation("thursday", "The meeting moved to Thursday"),
                          conversation("report", "Can you send me the report by Friday?"),
                          conversation("lunch", "Are we still on for lunch?")},
    };
    const auto result = run(classifier, batch, std::nullopt);
    EXPECT_TRUE(scenario.launches().empty());
    ASSERT_EQ(result.snapshot.items.size(), 2u);
    EXPECT_EQ(result.snapshot.items[0].id, "report");
    EXPECT_EQ(result.snapshot.items[1].id, "lunch");
    EXPECT_FALSE(result.report.usedLocalModel);
    for (const auto& entry : *result.snapshot.classificationCache) {
        EXPECT_EQ(entry.engineSignature, "heuristic-fallback");  // only guardrail decisions are kept
    }
}

}  // namespace
}  // namespace nudgerly
