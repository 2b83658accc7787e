// Queue derivation over 5,000 saved items (3,000 from Messages, 2,000 from Gmail), as the window reads
// it after every change: the visible list plus the four sidebar counts. Each sort order, with no search
// and with a search that keeps about a tenth of the items. One core; target under 5 ms per read.
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unicode/locid.h>

#include "BenchConversations.h"
#include "core/Date.h"
#include "platform/system/LocalCalendar.h"
#include "state/QueueDerivation.h"

namespace {

using namespace nudgerly;

constexpr int messagesItems = 3'000;
constexpr int gmailItems = 2'000;

const Date now = *Iso8601::parse("2026-03-10T19:00:00Z");

std::shared_ptr<const ReviewSnapshot> makeSnapshot(ReviewSource source, int count, std::mt19937& random) {
    static const std::vector<std::string> names{"Anna Bell", "adam", "Beth", "Émile", "Ky", "Zoë Ortiz",
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
        state.completed.insert(*state.snapshots[ReviewSource::messages]->items[static_cast<std::size_t>(i) * 3].completionKey);
    }
    return state;
}

void queueRead(benchmark::State& bench, QueueSort sort, const char* search) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);
    PublishedState state = makeState();
    state.queueSort = sort;
    state.search = search;
    LocalCalendar calendar;
    SnapshotMemo memo;  // as the state object keeps it between reads
    std::size_t visible = 0;
    for (auto _ : bench) {
        // One read as the window makes it: the cut for this moment, the list and the sidebar's counts.
        const Date cutoff = QueueDerivation::lookbackCutoff(state, now, calendar);
        const auto items = QueueDerivation::visibleItems(state, cutoff, memo);
        visible = items.size();
        benchmark::DoNotOptimize(QueueDerivation::openQueueCount(state, std::nullopt, cutoff, memo));
        benchmark::DoNotOptimize(QueueDerivation::openQueueCount(state, ReviewSource::messages, cutoff, memo));
        benchmark::DoNotOptimize(QueueDerivation::openQueueCount(state, ReviewSource::gmail, cutoff, memo));
        benchmark::DoNotOptimize(QueueDerivation::completedQueueCount(state, cutoff, memo));
    }
    bench.counters["visible_items"] = static_cast<double>(visible);
}

// The first read after a snapshot was replaced, when the exclusion rules and search texts are worked
// out for every item.
void firstReadOfNewSnapshots(benchmark::State& bench, const char* search) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);
    PublishedState state = makeState();
    state.search = search;
    LocalCalendar calendar;
    for (auto _ : bench) {
        SnapshotMemo memo;
        const Date cutoff = QueueDerivation::lookbackCutoff(state, now, calendar);
        benchmark::DoNotOptimize(QueueDerivation::visibleItems(state, cutoff, memo));
        benchmark::DoNotOptimize(QueueDerivation::openQueueCount(state, std::nullopt, cutoff, memo));
    }
}

BENCHMARK_CAPTURE(firstReadOfNewSnapshots, no_search, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(firstReadOfNewSnapshots, search, "invoice")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(queueRead, priority, QueueSort::priority, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(queueRead, newest, QueueSort::newest, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(queueRead, oldest, QueueSort::oldest, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(queueRead, type, QueueSort::type, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(queueRead, priority_search, QueueSort::priority, "invoice")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(queueRead, newest_search, QueueSort::newest, "invoice")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(queueRead, oldest_search, QueueSort::oldest, "invoice")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(queueRead, type_search, QueueSort::type, "invoice")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
