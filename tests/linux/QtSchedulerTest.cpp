#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/linux/QtScheduler.h"

namespace sayvo {
namespace {

// Spins the real event loop until `done` or a generous limit.
template <typename Done>
bool spinUntil(Done done, int limitMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return done();
}

TEST(QtScheduler, PostedTasksRunOnTheMainLoopInOrder) {
    QtScheduler scheduler;
    std::vector<int> ran;
    for (int i = 0; i < 50; ++i) scheduler.post([&, i] { ran.push_back(i); });
    EXPECT_TRUE(ran.empty()) << "post never runs inline";
    ASSERT_TRUE(spinUntil([&] { return ran.size() == 50; }));
    for (int i = 0; i < 50; ++i) EXPECT_EQ(ran[i], i);
}

TEST(QtScheduler, DelayedTasksRunByDeadlineAndNotBefore) {
    QtScheduler scheduler;
    std::vector<std::string> ran;
    const double start = scheduler.now();
    double firstAt = 0;
    scheduler.postAfter(0.12, [&] { ran.push_back("late"); });
    scheduler.postAfter(0.05, [&] {
        firstAt = scheduler.now() - start;
        ran.push_back("early");
    });
    scheduler.postAfter(0.05, [&] { ran.push_back("early-2"); });
    scheduler.post([&] { ran.push_back("now"); });
    ASSERT_TRUE(spinUntil([&] { return ran.size() == 4; }));
    EXPECT_EQ(ran, (std::vector<std::string>{"now", "early", "early-2", "late"}));
    EXPECT_GE(firstAt, 0.05);
}

TEST(QtScheduler, TasksPostedFromOtherThreadsAllArriveOnTheMainThread) {
    QtScheduler scheduler;
    const auto mainThread = std::this_thread::get_id();
    std::atomic<int> offMain{0};
    int ran = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                auto task = [&] {
                    if (std::this_thread::get_id() != mainThread) ++offMain;
                    ++ran;
                };
                if (i % 2) {
                    scheduler.post(task);
                } else {
                    scheduler.postAfter(0.01, task);
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(spinUntil([&] { return ran == 400; }));
    EXPECT_EQ(offMain, 0);
}

TEST(QtScheduler, RepeatingTimerStopsWhenInvalidatedFromItsOwnAction) {
    QtScheduler scheduler;
    int fires = 0;
    std::unique_ptr<RepeatingTimer> timer;
    timer = scheduler.scheduleRepeating(0.01, [&] {
        if (++fires == 3) timer->invalidate();
    });
    ASSERT_TRUE(spinUntil([&] { return fires == 3; }));
    spinUntil([] { return false; }, 100);
    EXPECT_EQ(fires, 3);
    EXPECT_FALSE(timer->isValid());
}

TEST(QtScheduler, TasksOfADestroyedSchedulerAreDroppedWithIt) {
    bool ran = false;
    // What a running timer's task holds must go with the scheduler, while the
    // application object still exists, not at its teardown.
    auto held = std::make_shared<int>(0);
    {
        QtScheduler scheduler;
        scheduler.postAfter(60, [held] {});
        spinUntil([] { return false; }, 50);
        scheduler.post([&] { ran = true; });
        scheduler.postAfter(0.01, [&] { ran = true; });
    }
    EXPECT_EQ(held.use_count(), 1);
    spinUntil([] { return false; }, 100);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace sayvo
