// How long the program takes from making its state object on a data folder holding two saved queues of
// 2,000 items each to the main window's first paint, offscreen. Each round starts from nothing: a new
// state object, bridge and window over the same files. Prints the median and the slowest round.
//
// Not included: starting the process, Qt's own start-up (the QApplication is made once, before timing),
// the font and icon caches' first fill (an unmeasured warm-up round), and the start task's work after
// the first paint (Gmail status, Local AI availability).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>

#include "app/AppComposition.h"
#include "core/BackgroundExecutor.h"
#include "core/Files.h"
#include "platform/contacts/ContactsAccessDecision.h"
#include "platform/contacts/VCardContactsStore.h"
#include "services/FeedbackSender.h"
#include "services/PackageManagerUpdater.h"
#include "services/UpdateController.h"
#include "state/AppStateSettings.h"
#include "storage/SnapshotStore.h"
#include "ui/kit/Look.h"
#include "ui/kit/QtMainQueue.h"
#include "ui/kit/StateBridge.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/QtClipboard.h"

namespace {

using namespace nudgerly;

constexpr int itemsPerSnapshot = 2000;
constexpr int rounds = 15;

class NoSender final : public FeedbackSender {
public:
    FeedbackReceipt submit(const FeedbackSubmission&, std::stop_token) const override { return {}; }
};

ReviewSnapshot snapshot(ReviewSource source, Date now) {
    ReviewSnapshot result;
    result.generatedAt = now;
    result.windowStart = now.addingSeconds(-7 * 86400);
    result.windowEnd = now;
    const std::string prefix(toRaw(source));
    for (int i = 0; i < itemsPerSnapshot; ++i) {
        ReviewItem item;
        item.id = prefix + "-" + std::to_string(i);
        item.completionKey = "completion-v1:" + item.id;
        item.source = source;
        item.status = static_cast<ReviewStatus>(i % 3);
        item.person = "Person " + std::to_string(i);
        item.date = "Today";
        item.timestamp = now.addingSeconds(-60.0 * i);
        item.summary = "Asked whether the plan for Thursday still holds and who brings the slides";
        item.context = "Are we still on for Thursday? Could you bring the slides?";
        item.verdict = "A direct question waits for an answer.";
        item.draft = "Yes, still on. I'll bring the slides.";
        result.items.push_back(std::move(item));
    }
    return result;
}

// Notes the window's first paint.
class FirstPaint : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
        }
        return QObject::eventFilter(watched, event);
    }
};

double oneRound(const AppEnvironment& environment, QtMainQueue& queue, std::size_t* loadedSnapshots = nullptr) {
    QElapsedTimer timer;
    timer.start();
    AppComposition composition(environment, queue, std::make_shared<QtClipboard>(), nullptr);
    StateBridge bridge(composition.state());
    UpdateController updates(environment.info, std::make_unique<PackageManagerUpdater>("Nudgerly"));
    ManualBackgroundExecutor work;
    MainWindow window(bridge, {.updates = updates, .requestQuit = [] {}, .feedback = {std::make_shared<NoSender>(), work, queue}});
    FirstPaint paint;
    window.installEventFilter(&paint);
    composition.state().start();
    window.show();
    while (!paint.painted) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double elapsed = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (loadedSnapshots) {
        *loadedSnapshots = composition.state().state().snapshots.size();
    }
    window.hide();
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    Look::apply();
    char folder[] = "/tmp/nudgerly-window-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path root(folder);
    const AppEnvironment environment = AppEnvironment::underRoot(root);
    const Date now = Date::now();
    SnapshotStore::save(snapshot(ReviewSource::messages, now), environment.dataDirectory / "messages-snapshot.json");
    SnapshotStore::save(snapshot(ReviewSource::gmail, now), environment.dataDirectory / "gmail-snapshot.json");
    createPrivateDirectories(environment.configurationDirectory);
    writeFileAtomically(environment.configurationDirectory / ContactsAccessDecision::fileName,
                        ContactsAccessDecision{.status = ContactsAuthorizationStatus::authorized}.encoded());

    QtMainQueue queue;
    {
        // The saved Messages queue is used only under the Contacts data it was made with.
        const VCardContactsStore contacts(VCardContactsStore::contactsFolderIn(environment.dataDirectory.parent_path()),
                                          environment.configurationDirectory, queue);
        if (const auto token = contacts.currentHistoryToken()) {
            environment.settings->setData(AppStateSettings::messagesContactsHistoryToken, *token);
        }
    }
    std::size_t loaded = 0;
    oneRound(environment, queue, &loaded);  // warm-up: fonts, icons and the style's caches
    if (loaded != 2) {
        std::fprintf(stderr, "Only %zu of the 2 saved queues were loaded.\n", loaded);
        std::filesystem::remove_all(root);
        return 1;
    }
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        times.push_back(oneRound(environment, queue));
    }
    std::filesystem::remove_all(root);
    std::sort(times.begin(), times.end());
    std::printf("state object to first paint, 2 x %d items: median %.1f ms, slowest %.1f ms (%d rounds; target 300 ms)\n",
                itemsPerSnapshot, times[times.size() / 2], times.back(), rounds);
    return 0;
}
