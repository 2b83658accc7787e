#include <atomic>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/MainTask.h"
#include "core/UserFacingError.h"
#include "queues/ManualBackgroundExecutor.h"
#include "queues/ManualMainQueue.h"
#include "support/VirtualMainQueue.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using test::VirtualMainQueue;

// Counts the frames whose locals were destroyed, whether the task ended or was torn down.
struct FrameProbe {
    std::shared_ptr<int> destroyed;
    ~FrameProbe() { ++*destroyed; }
};

class MainTaskTest : public ::testing::Test {
protected:
    VirtualMainQueue queue;
    ManualBackgroundExecutor executor;
    std::unique_ptr<TaskScope> scope = std::make_unique<TaskScope>(queue, executor);
    std::vector<std::string> errors;

    void SetUp() override {
        scope->setErrorHandler([this](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                errors.push_back(e.what());
            }
        });
    }

    // Runs jobs and main-queue turns until neither has anything left.
    void settle() {
        while (queue.drain() + static_cast<int>(executor.runAll()) > 0) {
        }
    }
};

TEST_F(MainTaskTest, TheStartIsPostedAndValuesAndErrorsCrossToTheWorkerAndBack) {
    std::vector<std::string> seen;
    const TaskHandle task = scope->spawn([&](TaskHandle self) -> MainTask {
        seen.push_back(queue.isMainThread() ? "started on main" : "started elsewhere");
        const int answer = co_await offMain(self, "answer", [](std::stop_token) { return 42; });
        seen.push_back("value " + std::to_string(answer));
        co_await offMain(self, "nothing", [](std::stop_token) {});
        seen.push_back("void job done");
        try {
            co_await offMain(self, "fails", [](std::stop_token) -> std::string {
                throw UserFacingError("The Messages database could not be read.");
            });
        } catch (const UserFacingError& error) {
            seen.push_back(error.what());
        }
    });
    EXPECT_NE(task.id(), 0u);
    EXPECT_TRUE(seen.empty());  // spawn only posts the start
    EXPECT_EQ(executor.pendingLabels(), std::vector<std::string>{});
    queue.drain();
    EXPECT_EQ(executor.pendingLabels(), std::vector<std::string>{"answer"});
    settle();
    EXPECT_EQ(seen, (std::vector<std::string>{"started on main", "value 42", "void job done",
                                              "The Messages database could not be read."}));
    EXPECT_TRUE(task.isFinished());
    EXPECT_EQ(scope->runningCount(), 0u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainTaskTest, ANamedJobKeepsWhatItCapturesExactlyAsLongAsItIsNeeded) {
    auto shared = std::make_shared<std::string>("captured");
    scope->spawn([shared](TaskHandle self) -> MainTask {
        const auto read = [shared](std::stop_token) { return *shared + " and read"; };
        const std::string text = co_await offMain(self, "read", read);
        *shared = text;
    });
    settle();
    EXPECT_EQ(*shared, "captured and read");
    EXPECT_EQ(shared.use_count(), 1);  // every copy released, none released twice
}

TEST_F(MainTaskTest, ACancelStopsTheJobAndEndsTheTaskQuietly) {
    bool jobSawStop = false;
    bool reachedTheEnd = false;
    const TaskHandle task = scope->spawn([&](TaskHandle self) -> MainTask {
        co_await offMain(self, "scan", [&](std::stop_token stop) {
            jobSawStop = stop.stop_requested();
            if (jobSawStop) {
                throw CancelledError();
            }
        });
        reachedTheEnd = true;
    });
    queue.drain();
    task.cancel();
    EXPECT_TRUE(task.isCancelled());
    settle();
    EXPECT_TRUE(jobSawStop);
    EXPECT_FALSE(reachedTheEnd);
    EXPECT_TRUE(task.isFinished());
    EXPECT_TRUE(errors.empty());  // a cancellation is never reported

    // A task cancelled before it awaits never starts its job.
    const TaskHandle early =
        scope->spawn([&](TaskHandle self) -> MainTask { co_await offMain(self, "never", [](std::stop_token) {}); });
    early.cancel();
    settle();
    EXPECT_TRUE(early.isFinished());
    EXPECT_EQ(executor.pending(), 0u);
    task.cancel();  // cancelling a finished task does nothing
}

TEST_F(MainTaskTest, SleepsRunOnVirtualTimeAndACancelledSleepEndsAtOnce) {
    std::vector<std::string> seen;
    const auto sleeper = [&](std::string name) {
        return [&seen, name](TaskHandle self) -> MainTask {
            try {
                co_await sleepFor(self, 300ms);
                seen.push_back(name + " woke");
            } catch (const CancelledError&) {
                seen.push_back(name + " cancelled");
            }
        };
    };
    const TaskHandle first = scope->spawn(sleeper("first"));
    const TaskHandle second = scope->spawn(sleeper("second"));
    queue.drain();
    queue.advance(299ms);
    EXPECT_TRUE(seen.empty());
    second.cancel();
    queue.drain();  // no time passes
    EXPECT_EQ(seen, (std::vector<std::string>{"second cancelled"}));
    queue.advance(1ms);
    EXPECT_EQ(seen, (std::vector<std::string>{"second cancelled", "first woke"}));
    EXPECT_EQ(scope->runningCount(), 0u);
    queue.advance(1s);  // the cancelled sleep's own timer finds it over
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(MainTaskTest, StepsHandBackValuesAndErrorsAndAnEscapedErrorIsOnlyReported) {
    const auto doubled = [](TaskHandle task, int value) -> MainAsync<int> {
        co_await sleepFor(task, 10ms);
        const int twice = co_await offMain(task, "double", [value](std::stop_token) { return value * 2; });
        co_return twice;
    };
    const auto failing = [](TaskHandle task) -> MainAsync<> {
        co_await sleepFor(task, 10ms);
        throw std::runtime_error("the step failed");
    };
    int result = 0;
    std::string caught;
    scope->spawn([&](TaskHandle self) -> MainTask {
        result = co_await doubled(self, 21);
        try {
            co_await failing(self);
        } catch (const std::runtime_error& error) {
            caught = error.what();
        }
        throw std::runtime_error("nobody catches this");
    });
    scope->spawn([](TaskHandle) -> MainTask {
        throw CancelledError();  // escapes quietly
        co_return;
    });
    for (int i = 0; i < 5; ++i) {
        settle();
        queue.advance(10ms);
    }
    EXPECT_EQ(result, 42);
    EXPECT_EQ(caught, "the step failed");
    EXPECT_EQ(errors, std::vector<std::string>{"nobody catches this"});
    EXPECT_EQ(scope->runningCount(), 0u);
}

TEST_F(MainTaskTest, NoFrameOutlivesItsScopeOrATornDownQueue) {
    auto destroyed = std::make_shared<int>(0);
    std::string capturedLater;
    const auto probe = [&](std::string text) {
        return [destroyed, text, &capturedLater](TaskHandle self) -> MainTask {
            FrameProbe local{destroyed};
            co_await sleepFor(self, 1s);
            co_await offMain(self, "job", [](std::stop_token stop) {
                if (stop.stop_requested()) {
                    throw CancelledError();
                }
            });
            capturedLater = text;  // the body's captures are still alive here
        };
    };
    scope->spawn(probe("finished normally"));
    queue.drain();
    queue.advance(1s);
    settle();
    EXPECT_EQ(capturedLater, "finished normally");
    EXPECT_EQ(*destroyed, 1);

    // One task waits for its job, one sleeps, one has not started; the queue loses its pending work,
    // then the scope goes.
    scope->spawn(probe("in a job"));
    queue.drain();
    queue.advance(1s);
    scope->spawn(probe("asleep"));
    queue.drain();
    scope->spawn(probe("never started"));
    queue.discardPending();
    EXPECT_EQ(scope->runningCount(), 3u);
    scope.reset();
    EXPECT_EQ(*destroyed, 3);  // a frame that never started has no locals yet
    // The job still queued runs with its stop requested, and its result (like the sleeper's wake-up)
    // finds nobody.
    EXPECT_EQ(executor.runAll(), 1u);
    EXPECT_EQ(queue.drain(), 2);
    EXPECT_EQ(capturedLater, "finished normally");
}

TEST_F(MainTaskTest, AJobThatAStoppedExecutorDropsEndsItsTaskWithACancellation) {
    std::vector<std::string> seen;
    const auto waiting = [&](TaskHandle self) -> MainTask {
        try {
            co_await offMain(self, "dropped", [](std::stop_token) {});
            seen.push_back("ran");
        } catch (const CancelledError&) {
            seen.push_back("cancelled");
        }
    };
    scope->spawn(waiting);
    queue.drain();
    executor.stop();  // drops the queued job unrun
    queue.drain();
    scope->spawn(waiting);  // and refuses the next one
    queue.drain();
    queue.drain();
    EXPECT_EQ(seen, (std::vector<std::string>{"cancelled", "cancelled"}));
    EXPECT_EQ(scope->runningCount(), 0u);
}

// Many tasks with hops, sleeps and cancels on real worker threads and a main queue on real time.
TEST(MainTaskSmokeTest, ManyTasksHopSleepAndCancelOnRealThreads) {
    ManualMainQueue queue;
    ThreadPoolExecutor executor;
    std::atomic<int> jobsRun{0};
    int finished = 0;
    int cancelled = 0;
    int total = 0;
    {
        TaskScope scope(queue, executor);
        std::vector<TaskHandle> tasks;
        constexpr int taskCount = 300;
        for (int i = 0; i < taskCount; ++i) {
            tasks.push_back(scope.spawn([&, i](TaskHandle self) -> MainTask {
                try {
                    int sum = 0;
                    for (int hop = 0; hop < 3; ++hop) {
                        sum += co_await offMain(self, "hop", [&, i, hop](std::stop_token stop) {
                            ++jobsRun;
                            std::this_thread::sleep_for(std::chrono::microseconds((i * 7 + hop) % 200));
                            if (stop.stop_requested()) {
                                throw CancelledError();
                            }
                            return i + hop;
                        });
                        co_await sleepFor(self, std::chrono::milliseconds(i % 3));
                    }
                    total += sum;
                    ++finished;
                } catch (const CancelledError&) {
                    ++cancelled;
                }
            }));
        }
        std::mt19937 random(7);
        for (int round = 0; round < 20; ++round) {
            queue.runUntil([] { return false; }, 2ms);
            tasks[random() % taskCount].cancel();
        }
        ASSERT_TRUE(queue.runUntil([&] { return scope.runningCount() == 0; }, 30s));
        EXPECT_EQ(finished + cancelled, taskCount);
        EXPECT_GT(finished, taskCount / 2);
        int expected = 0;
        for (int i = 0; i < taskCount; ++i) {
            if (!tasks[i].isCancelled()) {
                expected += 3 * i + 3;
            }
        }
        // A task cancelled after its last hop still finishes; only the totals of the others are known.
        EXPECT_GE(total, expected);
    }
    EXPECT_TRUE(executor.stop());
    EXPECT_GT(jobsRun.load(), 0);
}

}  // namespace
}  // namespace nudgerly
