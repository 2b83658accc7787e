// A whole snapshot run over 2,000 made-up conversations: once in Basic Mode, and once more when every
// conversation is reused from the previous snapshot's cache (the common case of a refresh, where
// little changed). The cached run should be at least 20 times faster. Each is timed twice: without a
// progress callback, and with one delivered to a main queue that another thread drains, as in the
// app, where the run waits for every call. One such awaited hop is also timed on its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchConversations.h"
#include "classifier/ConversationClassifier.h"
#include "classifier/HeuristicClassifier.h"
#include "core/MainQueue.h"
#include "queues/ManualMainQueue.h"

namespace {

using namespace nudgerly;
using Clock = std::chrono::steady_clock;

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
    Classification classifyLatestTurn(const Conversation& c, std::stop_token stop) override {
        return classify(c, stop);
    }
    Classification retryInvalidClassification(const Conversation& c, std::stop_token stop) override {
        return classify(c, stop);
    }
    Classification retryInvalidLatestTurnClassification(const Conversation& c, std::stop_token stop) override {
        return classify(c, stop);
    }

private:
    ModelAvailability availability_;
};

// A main thread of its own that runs whatever is posted, as the application's event loop does.
class DrainedMainQueue {
public:
    DrainedMainQueue()
        : drainer_([this](std::stop_token stop) {
              queue_.adoptCurrentThread();
              adopted_.test_and_set();
              adopted_.notify_all();
              while (!stop.stop_requested()) {
                  queue_.runUntil([&] { return stop.stop_requested(); }, std::chrono::milliseconds(100));
              }
          }) {
        adopted_.wait(false);
    }
    ~DrainedMainQueue() {
        drainer_.request_stop();
        queue_.post([] {});  // wakes the drainer to see the stop
    }

    MainQueue& queue() { return queue_; }

private:
    ManualMainQueue queue_;
    std::atomic_flag adopted_;
    std::jthread drainer_;
};

ConversationBatch batch() {
    return {.generatedAt = Date{790'000'000},
            .lookbackDays = 30,
            .conversations = bench::makeConversations(conversationCount)};
}

// Seconds per run of each benchmark, for the ratios printed at the end.
std::map<std::string, double>& secondsPerRun() {
    static std::map<std::string, double> runs;
    return runs;
}

void record(const benchmark::State& state, const std::string& name, Clock::duration total) {
    if (state.iterations() > 0) {
        secondsPerRun()[name] = std::chrono::duration<double>(total).count() / static_cast<double>(state.iterations());
    }
}

ConversationClassifier::ProgressCallback progress(bool withProgress) {
    if (!withProgress) {
        return {};
    }
    return [](int64_t completed, int64_t total) { benchmark::DoNotOptimize(completed + total); };
}

void basicModeRun(benchmark::State& state) {
    const bool withProgress = state.range(0) != 0;
    DrainedMainQueue mainQueue;
    const ConversationBatch conversations = batch();
    Clock::duration total{};
    for (auto _ : state) {
        const auto started = Clock::now();
        // A fresh classifier each time: nothing is remembered from an earlier run.
        ConversationClassifier classifier(std::make_shared<InstantModel>(ModelAvailability::missing()),
                                          mainQueue.queue());
        const auto result = classifier.makeSnapshotWithReport(conversations, std::nullopt, progress(withProgress), {});
        total += Clock::now() - started;
        state.counters["items"] = static_cast<double>(result.snapshot.items.size());
    }
    record(state, withProgress ? "uncached with progress" : "uncached", total);
}

void fullyCachedRun(benchmark::State& state) {
    const bool withProgress = state.range(0) != 0;
    DrainedMainQueue mainQueue;
    ConversationClassifier classifier(std::make_shared<InstantModel>(ModelAvailability::bundled()), mainQueue.queue());
    const ConversationBatch conversations = batch();
    const std::optional<ReviewSnapshot> previous =
        classifier.makeSnapshotWithReport(conversations, std::nullopt, {}, {}).snapshot;
    Clock::duration total{};
    for (auto _ : state) {
        const auto started = Clock::now();
        benchmark::DoNotOptimize(
            classifier.makeSnapshotWithReport(conversations, previous, progress(withProgress), {}));
        total += Clock::now() - started;
    }
    record(state, withProgress ? "cached with progress" : "cached", total);
    state.counters["cache_entries"] = static_cast<double>(previous->classificationCache->size());
    state.counters["items"] = static_cast<double>(previous->items.size());
}

// One awaited hop: a worker hands a call to the main thread and waits until it has run.
void progressHop(benchmark::State& state) {
    DrainedMainQueue mainQueue;
    std::vector<double> hops;
    hops.reserve(100'000);
    for (auto _ : state) {
        const auto started = Clock::now();
        runOnMainAndWait(mainQueue.queue(), [] {}, {});
        hops.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
    }
    std::nth_element(hops.begin(), hops.begin() + static_cast<std::ptrdiff_t>(hops.size() / 2), hops.end());
    state.counters["median_hop_us"] = hops[hops.size() / 2];
}

BENCHMARK(basicModeRun)->Arg(0)->Arg(1)->ArgName("progress")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(fullyCachedRun)->Arg(0)->Arg(1)->ArgName("progress")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(progressHop)->Unit(benchmark::kMicrosecond)->UseRealTime();

void printRatio(const char* label, const std::string& uncached, const std::string& cached) {
    const auto& runs = secondsPerRun();
    if (runs.contains(uncached) && runs.contains(cached) && runs.at(cached) > 0) {
        std::printf("cached run %.1f times faster than uncached %s\n", runs.at(uncached) / runs.at(cached), label);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printRatio("without progress", "uncached", "cached");
    printRatio("with progress", "uncached with progress", "cached with progress");
    return 0;
}
