// Nudgerly's program. The window is not built yet, so this classifies the built-in demo conversations
// with the engine (Local AI when `llama-server` and a model are installed, Basic Mode otherwise) and
// prints the queue.
#include <atomic>
#include <csignal>
#include <exception>
#include <iostream>
#include <optional>
#include <pthread.h>
#include <stop_token>
#include <thread>
#include <unistd.h>

#include "app/DemoConversations.h"
#include "classifier/ConversationClassifier.h"
#include "core/MainQueue.h"
#include "modelpacks/ModelCatalog.h"
#include "modelpacks/ModelSelectionStore.h"
#include "review/MessageAge.h"
#include "review/RefreshProgress.h"
#include "storage/AppEnvironment.h"

namespace {

using namespace nudgerly;

const char* statusName(ReviewStatus status) {
    switch (status) {
        case ReviewStatus::reply: return "Reply";
        case ReviewStatus::action: return "Take action";
        case ReviewStatus::nudgerly: return "Optional";
    }
    return "";
}

const char* sourceName(ReviewSource source) {
    return source == ReviewSource::messages ? "Messages" : "Gmail";
}

void printQueue(const SnapshotClassificationResult& result, Date now) {
    const auto& items = result.snapshot.items;
    std::cout << "\n" << items.size() << (items.size() == 1 ? " conversation needs" : " conversations need")
              << " attention:\n";
    for (const ReviewItem& item : items) {
        std::cout << "\n  " << statusName(item.status) << " \u00B7 " << item.person << " (" << sourceName(item.source)
                  << ") \u00B7 " << (item.timestamp ? MessageAge::label(*item.timestamp, now) : item.date) << "\n"
                  << "    " << item.summary << "\n";
        if (item.draft) {
            std::cout << "    Suggested reply: " << *item.draft << "\n";
        }
    }
    if (result.report.issue) {
        std::cout << "\n" << *result.report.issue << "\n";
    }
}

}  // namespace

int main() {
    // Ctrl-C and termination are taken by one thread, so that a running model server is always stopped.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ManualMainQueue mainQueue;
    const AppEnvironment environment = AppEnvironment::forProcess();
    const ModelPack pack = ModelSelectionStore::selectedPack(ModelCatalog::nudgerly(), *environment.settings);
    ConversationClassifier classifier(pack, environment.dataDirectory, mainQueue);
    const bool localAI = classifier.modelAvailability() == ModelAvailability::bundled();

    std::cout << "Nudgerly " << environment.info.string("CFBundleShortVersionString").value_or("") << " \u2014 "
              << (localAI ? "Local AI (" + pack.displayName + ")" : std::string("Basic Mode")) << "\n"
              << "Showing built-in demo conversations.\n";

    std::stop_source stop;
    std::jthread signalWatcher([&](std::stop_token finished) {
        std::stop_callback wake(finished, [] { ::kill(::getpid(), SIGTERM); });
        int received = 0;
        sigwait(&signals, &received);
        stop.request_stop();
    });

    const Date now = Date::now();
    const ConversationBatch batch = DemoConversations::batch(now);
    std::optional<SnapshotClassificationResult> result;
    std::exception_ptr failure;
    const bool interactive = ::isatty(STDOUT_FILENO) != 0;
    std::atomic<bool> finished{false};  // `result` and `failure` are read only after the join
    std::jthread worker([&] {
        // An exception escaping the worker would end the program before the server is stopped.
        try {
            result = classifier.makeSnapshotWithReport(
                batch, std::nullopt,
                [interactive](int64_t completed, int64_t total) {
                    if (!interactive) {
                        return;
                    }
                    const RefreshProgress progress{ReviewSource::messages, "Reviewing conversations", completed, total};
                    std::cout << "\r" << progress.detail << " \u00B7 " << progress.countLabel().value_or("")
                              << std::flush;
                },
                stop.get_token());
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    // The run always ends (a stop request ends it early), so the main loop runs until it has.
    mainQueue.runUntil([&] { return finished.load(); }, std::chrono::hours(24));
    worker.join();
    if (interactive) {
        std::cout << "\n";
    }
    // The program's last step: waiting here for the server to stop keeps nothing else waiting.
    classifier.requestShutdown().wait();
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            std::cerr << "Nudgerly stopped: " << error.what() << "\n";
        } catch (...) {
            std::cerr << "Nudgerly stopped after an unexpected error.\n";
        }
        return 1;
    }
    if (stop.stop_requested()) {
        return 130;
    }
    printQueue(*result, now);
    return 0;
}
