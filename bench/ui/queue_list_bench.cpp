// The queue list pane on 2,000 items, offscreen: how long a new list of ids never seen takes to reach
// the screen, a new order of the same items, a change of content for the same ids, and the repaint of
// one page while scrolling from top to bottom. Targets: under 50 ms for a new list, under 16 ms (one frame) per page.
//
// Measured: the state's derivation of the visible list, the pane's sync, the model update, the list's
// layout of every row height, and the painting of the viewport into an image. Not measured: the
// compositor and the display (offscreen there is none), and font rasterisation caches are warm after
// the first iteration.

#include <QApplication>
#include <QImage>
#include <QListView>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include "statefakes/ScreenFixture.h"
#include "ui/kit/Look.h"
#include "ui/queue/QueueListModel.h"
#include "ui/queue/QueueListPane.h"

namespace nudgerly::test {
namespace {

constexpr int itemCount = 2000;

// `itemCount` items of both sources made from the fixtures' items, each with its own id. Each
// `generation` gives new ids (a list never seen), or with `sameIds` the same ids with new summaries.
std::vector<ReviewItem> benchItems(ReviewSource source, Date now, int generation, bool sameIds) {
    const std::vector<ReviewItem> templates = fixtureItems(source, now);
    std::vector<ReviewItem> items;
    for (int index = 0; index < itemCount / 2; ++index) {
        ReviewItem item = templates[static_cast<std::size_t>(index) % templates.size()];
        item.id = std::string(toRaw(source)) + "-" + std::to_string(index);
        if (!sameIds) {
            item.id += "-" + std::to_string(generation);
        }
        item.completionKey = "completion-v1:" + item.id;
        item.person += " " + std::to_string(index);
        if (sameIds) {
            item.summary += " (pass " + std::to_string(generation) + ")";
        }
        // Minutes apart, the two sources interleaved, so that no two items tie in time.
        item.timestamp = now.addingSeconds(-600.0 * (2 * index + (source == ReviewSource::gmail ? 1 : 0) + 1));
        item.priority = 100 - index % 90;
        items.push_back(std::move(item));
    }
    return items;
}

void publish(ScreenFixture& fixture, int generation, bool sameIds) {
    StatePublisher& published = fixture.state.published();
    const Date now = fixture.clock.now();
    for (const ReviewSource source : allCases<ReviewSource>()) {
        published.setSnapshot(source, fixtureSnapshot(source, now, benchItems(source, now, generation, sameIds)));
    }
}

// The pane on 2,000 items, shown at a typical size, laid out and painted once.
struct Bench {
    ScreenFixture fixture{"ready"};
    std::unique_ptr<QueueListPane> pane;
    QListView* list = nullptr;
    QImage canvas;

    explicit Bench(QueueSort sort) {
        fixture.state.published().setRefreshLookbacks(
            {LookbackWindow::ninety, LookbackWindow::ninety, LookbackWindow::ninety});
        fixture.state.published().setQueueSort(sort);
        fixture.state.published().setCompleted({});
        publish(fixture, 0, false);
        pane = std::make_unique<QueueListPane>(fixture.state);
        pane->resize(420, 900);
        pane->show();
        list = pane->findChild<QListView*>(QStringLiteral("queueList"));
        canvas = QImage(list->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        settleAndPaint();
    }

    void settleAndPaint() {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();  // the list's delayed layout
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        list->viewport()->render(&painter);
    }
};

void newIdListToPaintedList(benchmark::State& state) {
    Bench bench(static_cast<QueueSort>(state.range(0)));
    int generation = 1;
    for (auto _ : state) {
        publish(bench.fixture, generation++, false);
        bench.settleAndPaint();
    }
    state.counters["rows"] = bench.pane->model().rowCount();
}
BENCHMARK(newIdListToPaintedList)
    ->Arg(static_cast<int>(QueueSort::priority))
    ->Arg(static_cast<int>(QueueSort::newest))
    ->ArgName("sort")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The user picks another order: the same items in a new order, their heights known.
void reorderToPaintedList(benchmark::State& state) {
    Bench bench(QueueSort::newest);
    bool oldest = true;
    for (auto _ : state) {
        bench.fixture.state.published().setQueueSort(oldest ? QueueSort::oldest : QueueSort::newest);
        oldest = !oldest;
        bench.settleAndPaint();
    }
}
BENCHMARK(reorderToPaintedList)->Unit(benchmark::kMillisecond)->UseRealTime();

// A refresh rewrites every summary of the same items: no reset, every row measured again.
void contentChangeToPaintedList(benchmark::State& state) {
    Bench bench(QueueSort::newest);
    publish(bench.fixture, 0, true);
    bench.settleAndPaint();
    int generation = 1;
    for (auto _ : state) {
        publish(bench.fixture, generation++, true);
        bench.settleAndPaint();
    }
}
BENCHMARK(contentChangeToPaintedList)->Unit(benchmark::kMillisecond)->UseRealTime();

void scrollRepaintPerPage(benchmark::State& state) {
    Bench bench(QueueSort::priority);
    QScrollBar& bar = *bench.list->verticalScrollBar();
    QPainter painter(&bench.canvas);
    for (auto _ : state) {
        const int next = bar.value() + bar.pageStep();
        bar.setValue(next > bar.maximum() ? 0 : next);
        bench.list->viewport()->render(&painter);
    }
    state.counters["pagesPerPass"] = static_cast<double>(bar.maximum()) / bar.pageStep() + 1;
}
BENCHMARK(scrollRepaintPerPage)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace nudgerly::test

int main(int argc, char** argv) {
    nudgerly::test::pinScreenEnvironment();
    QApplication app(argc, argv);
    nudgerly::Look::apply();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
