// A whole snapshot run over 2,000 made-up conversations: once in Basic Mode, and once more when every
// conversation is reused from the previous snapshot's cache (the common case of a refresh, where
// little changed). The cached run should be at least 20 times faster.
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchConversations.h"
#include "classifier/ConversationClassifier.h"
#include "classifier/HeuristicClassifier.h"
#include "core/MainQueue.h"

namespace {

using namespace nudgerly;

constexpr int conversationCount = 2'000;

// A model that answers at once with the Basic Mode decision, so the first run fills the cache for every
// conversation and the cached run builds the same queue as the Basic Mode run.
class InstantModel : public LocalModelService {
public:
    explicit InstantModel(ModelAvailability availability) : availability_(std::move(availability)) {}
    ModelAvailability availability() const override { return availability_; }
    ModelPack activeModelPack() const override { return ModelPack::nudgerlyDefault(); }
    std::shared_future<void> selectModelPack(const ModelPack&) override { return done(); }
    std::shared_future<void> requestShutdown() override { return done(); }
    Classification classify(const Conversation& conversation, std::stop_token) override {
        return HeuristicClassifier::classify(conversation);
    }
    Classification classifyLatestTurn(const Conversation& c, std::stop_token stop) override { return classify(c, stop); }
    Classification retryInvalidClassification(const Conversation& c, std::stop_token stop) override {
        return classify(c, stop);
    }
    Classification retryInvalidLatestTurnClassification(const Conversation& c, std::stop_token stop) override {
        return classify(c, stop);
    }

private:
    ModelAvailability availability_;
};

ConversationBatch batch() {
    return {.generatedAt = Date{790'000'000}, .lookbackDays = 30, .conversations = bench::makeConversations(conversationCount)};
}

void basicModeRun(benchmark::State& state) {
    ManualMainQueue mainQueue;  // this thread is the main thread, so progress calls run inline
    const ConversationBatch conversations = batch();
    for (auto _ : state) {
        // A fresh classifier each time: nothing is remembered from an earlier run.
        ConversationClassifier classifier(std::make_shared<InstantModel>(ModelAvailability::missing()), mainQueue);
        const auto result = classifier.makeSnapshotWithReport(conversations, std::nullopt, {}, {});
        state.counters["items"] = static_cast<double>(result.snapshot.items.size());
    }
}

void fullyCachedRun(benchmark::State& state) {
    ManualMainQueue mainQueue;
    ConversationClassifier classifier(std::make_shared<InstantModel>(ModelAvailability::bundled()), mainQueue);
    const ConversationBatch conversations = batch();
    const std::optional<ReviewSnapshot> previous =
        classifier.makeSnapshotWithReport(conversations, std::nullopt, {}, {}).snapshot;
    for (auto _ : state) {
        benchmark::DoNotOptimize(classifier.makeSnapshotWithReport(conversations, previous, {}, {}));
    }
    state.counters["cache_entries"] = static_cast<double>(previous->classificationCache->size());
    state.counters["items"] = static_cast<double>(previous->items.size());
}

BENCHMARK(basicModeRun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(fullyCachedRun)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
