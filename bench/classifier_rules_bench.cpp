// Basic Mode throughput: the guardrails in their order, then the heuristic when none is certain, over
// 10,000 made-up conversations of 1 to 30 messages. Reports conversations per second on one core.
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchConversations.h"
#include "classifier/Guardrails.h"
#include "classifier/HeuristicClassifier.h"

namespace {

using namespace nudgerly;

constexpr int conversationCount = 10'000;

void guardrailsThenHeuristic(benchmark::State& state) {
    const std::vector<Conversation> conversations = bench::makeConversations(conversationCount);
    int owed = 0;
    for (auto _ : state) {
        for (const Conversation& conversation : conversations) {
            const auto decided = Guardrails::firstCertain(conversation);
            const Classification classification = decided ? *decided : HeuristicClassifier::classify(conversation);
            owed += classification.needsAction ? 1 : 0;
            benchmark::DoNotOptimize(classification);
        }
    }
    state.counters["conversations_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * conversationCount, benchmark::Counter::kIsRate);
    state.counters["owed_share"] =
        static_cast<double>(owed) / (static_cast<double>(state.iterations()) * conversationCount);
}

BENCHMARK(guardrailsThenHeuristic)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
