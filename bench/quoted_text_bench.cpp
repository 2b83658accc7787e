// The worst quoted texts at the readers' caps (1,500 and 4,000 characters): long runs of opening quotes
// before one closing quote, with question marks about, in characters of up to four bytes. Times the
// quoted-question removal alone and Basic Mode's whole decision (guardrails, then the heuristic) for a
// conversation of three such messages. Each should stay well under 1 ms per conversation.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "classifier/Guardrails.h"
#include "classifier/HeuristicClassifier.h"
#include "classifier/QuestionSurfacePolicy.h"

namespace {

using namespace nudgerly;

enum Shape { openingRun, singleOpeningRun, unclosedQuestions };

// `characters` user-perceived characters of the given shape.
std::string hostileText(Shape shape, int characters) {
    std::string text;
    int count = 0;
    const auto add = [&](const char* piece) {
        text += piece;
        ++count;
    };
    switch (shape) {
        case openingRun:  // every opening quote fails at the one closing quote; the "?" comes after it
            while (count < characters - 3) {
                add("\u201C");
                add("\U0001F602");
            }
            add("\u201D");
            add("?");
            break;
        case singleOpeningRun:
            while (count < characters - 3) {
                add("\u2018");
                add("\u00E9");
            }
            add("\u2019");
            add("?");
            break;
        case unclosedQuestions:  // a question after every opening quote, one closing quote at the end
            while (count < characters - 2) {
                add("\u201C");
                add("?");
                add("\U0001F602");
            }
            add("\u201D");
            break;
    }
    return text;
}

Conversation hostileConversation(Shape shape, int characters) {
    const std::string text = hostileText(shape, characters);
    return {.id = "hostile",
            .source = ReviewSource::gmail,
            .person = "Robin",
            .messages = {{.fromMe = false, .text = "Did you see this?", .date = Date{790'000'000}},
                         {.fromMe = true, .text = "Not yet", .date = Date{790'000'100}},
                         {.fromMe = false, .text = text, .date = Date{790'000'200}}}};
}

void removingQuotedQuestions(benchmark::State& state) {
    const std::string text = hostileText(static_cast<Shape>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(QuestionSurfacePolicy::removingQuotedQuestions(text));
    }
    state.counters["bytes"] = static_cast<double>(text.size());
}

void basicModeDecision(benchmark::State& state) {
    const Conversation conversation =
        hostileConversation(static_cast<Shape>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        const auto decided = Guardrails::firstCertain(conversation);
        benchmark::DoNotOptimize(decided ? *decided : HeuristicClassifier::classify(conversation));
    }
}

// Arguments: the shape, then the cap in characters.
void caps(benchmark::internal::Benchmark* benchmark) {
    for (const int shape : {openingRun, singleOpeningRun, unclosedQuestions}) {
        for (const int characters : {1500, 4000}) {
            benchmark->Args({shape, characters});
        }
    }
}

BENCHMARK(removingQuotedQuestions)->Apply(caps)->Unit(benchmark::kMicrosecond);
BENCHMARK(basicModeDecision)->Apply(caps)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
