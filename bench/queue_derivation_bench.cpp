// Queue derivation over 5,000 saved items (3,000 from Messages, 2,000 from Gmail), as the window reads
// it after a change: the visible list plus the four sidebar counts, kept per change by DerivedQueue.
// Measured: the first read of new snapshots (the exclusion rules and search texts worked out on the
// main thread, as when nobody worked them out before), a read after the snapshots were replaced by
// ones whose texts were worked out already (every stage again: base list, sort, filters), one search
// key after another ("invoice" typed, then cleared), and a read with nothing changed. One core.
#include <array>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unicode/locid.h>

#include "BenchConversations.h"
#include "core/Date.h"
#include "core/MainQueue.h"
#include "platform/system/LocalCalendar.h"
#include "queues/ManualMainQueue.h"
#include "state/DerivedQueue.h"
#include "state/QueueDerivation.h"
#include "state/StatePublisher.h"

namespace {

using namespace nudgerly;

constexpr int messagesItems = 3'000;
constexpr int gmailItems = 2'000;

const Date now = *Iso8601::parse("2026-03-10T19:00:00Z");

std::shared_ptr<const ReviewSnapshot> makeSnapshot(ReviewSource source, int count, std::mt19937& random) {
    static const std::vector<std::string> names{
        "Anna Bell",         "adam",           "Beth",      "Émile", "Ky", "Zoë Ortiz",
        "Mark from the Lab", "Noreply Alerts", "Voicemail", "Priya"};
    static const std::vector<ReviewStatus> statuses{ReviewStatus::reply, ReviewStatus::action, ReviewStatus::nudgerly};
    auto snapshot = std::make_shared<ReviewSnapshot>();
    snapshot->windowEnd = now;
    snapshot->windowStart = now.addingSeconds(-90 * 86'400.0);
    for (int i = 0; i < count; ++i) {
        const auto pick = [&](std::size_t size) { return static_cast<std::size_t>(random() % size); };
        ReviewItem item;
        item.id = std::string(toRaw(source)) + "-" + std::to_string(i);
        item.completionKey = "completion-v1:" + std::to_string(random());
        item.source = source;
        item.status = statuses[pick(statuses.size())];
        item.person = names[pick(names.size())] + (i % 3 == 0 ? "" : " " + std::to_string(i % 97));
        item.timestamp = now.addingSeconds(-static_cast<double>(random() % (90 * 86'400)));
        if (i % 4 != 0) {
            item.priority = static_cast<int64_t>(random() % 100);
        }
        item.isKnownContact = i % 5 != 0;
        item.summary = bench::sentences[pick(bench::sentences.size())];
        item.context = std::string(bench::sentences[pick(bench::sentences.size())]) + " " +
                       bench::sentences[pick(bench::sentences.size())];
        item.verdict = bench::sentences[pick(bench::sentences.size())];
        item.tags = {"follow-up", i % 2 ? "work" : "family"};
        snapshot->items.push_back(std::move(item));
    }
    return snapshot;
}

PublishedState makeState() {
    std::mt19937 random(42);
    PublishedState state;
    state.contactsPermission = ContactsPermission::granted;
    state.refreshLookbacks = {.combined = LookbackWindow::sixty};
    state.snapshots[ReviewSource::messages] = makeSnapshot(ReviewSource::messages, messagesItems, random);
    state.snapshots[ReviewSource::gmail] = makeSnapshot(ReviewSource::gmail, gmailItems, random);
    for (int i = 0; i < 500; ++i) {
        state.completed.insert(
            *state.snapshots[ReviewSource::messages]->items[static_cast<std::size_t>(i) * 3].completionKey);
    }
    return state;
}

struct Published {
    ManualMainQueue queue;
    StatePublisher publisher{queue, makeState()};
    LocalCalendar calendar;

    Date cutoff() { return QueueDerivation::lookbackCutoff(publisher.state(), now, calendar); }

    // One read as the window makes it: the list and the sidebar's counts.
    std::size_t read(DerivedQueue& derived) {
        const Date at = cutoff();
        const std::size_t visible = derived.visible(at)->size();
        benchmark::DoNotOptimize(derived.openCount(std::nullopt, at));
        benchmark::DoNotOptimize(derived.openCount(ReviewSource::messages, at));
        benchmark::DoNotOptimize(derived.openCount(ReviewSource::gmail, at));
        benchmark::DoNotOptimize(derived.completedCount(at));
        return visible;
    }
};

void setLocale() {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);
}

// Every stage again: the snapshots are replaced by equal ones whose texts were worked out already.
void readAfterNewSnapshots(benchmark::State& bench, QueueSort sort, const char* search) {
    setLocale();
    Published published;
    published.publisher.setQueueSort(sort);
    published.publisher.setSearch(search);
    DerivedQueue derived(published.publisher);
    std::array<SnapshotMap, 2> pairs;
    for (auto& pair : pairs) {
        for (const auto& [source, snapshot] : published.publisher.state().snapshots) {
            pair[source] = std::make_shared<const ReviewSnapshot>(*snapshot);
            derived.memo().adopt(pair[source], SnapshotMemo::workOut(*pair[source], {}));
        }
    }
    std::size_t visible = 0;
    std::size_t round = 0;
    for (auto _ : bench) {
        published.publisher.setSnapshots(pairs[round++ % 2]);
        visible = published.read(derived);
    }
    bench.counters["visible_items"] = static_cast<double>(visible);
}

// "invoice" typed one key at a time, then cleared: one read per key.
void searchKeys(benchmark::State& bench, QueueSort sort) {
    setLocale();
    Published published;
    published.publisher.setQueueSort(sort);
    DerivedQueue derived(published.publisher);
    published.read(derived);
    const std::string query = "invoice";
    std::size_t key = 0;
    for (auto _ : bench) {
        const std::size_t typed = key++ % (query.size() + 1);
        published.publisher.setSearch(typed < query.size() ? query.substr(0, typed + 1) : "");
        published.read(derived);
    }
}

void readWithNothingChanged(benchmark::State& bench) {
    setLocale();
    Published published;
    DerivedQueue derived(published.publisher);
    published.read(derived);
    for (auto _ : bench) {
        published.read(derived);
    }
}

// The first read after a snapshot was published by nobody who worked its texts out.
void firstReadOfNewSnapshots(benchmark::State& bench, const char* search) {
    setLocale();
    Published published;
    published.publisher.setSearch(search);
    for (auto _ : bench) {
        DerivedQueue derived(published.publisher);
        published.read(derived);
    }
}

BENCHMARK_CAPTURE(firstReadOfNewSnapshots, no_search, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(firstReadOfNewSnapshots, search, "invoice")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAfterNewSnapshots, priority, QueueSort::priority, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAfterNewSnapshots, newest, QueueSort::newest, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAfterNewSnapshots, oldest, QueueSort::oldest, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAfterNewSnapshots, type, QueueSort::type, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAfterNewSnapshots, priority_search, QueueSort::priority, "invoice")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeys, priority, QueueSort::priority)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeys, newest, QueueSort::newest)->Unit(benchmark::kMillisecond);
BENCHMARK(readWithNothingChanged)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
