#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Spin.h"
#include "platform/linux/QtScheduler.h"

namespace sayvo {
namespace {

TEST(QtSchedulerTest, PostedTasksRunInOrderAndDelayedOnesByDeadlineNeverBefore) {
    QtScheduler scheduler;
    std::string ran;  // posted: a to e; after 0.05 s: 1 then 2; after 0.12 s: 3
    const double start = scheduler.now();
    double firstAt = 0;
    scheduler.postAfter(0.12, [&] { ran += '3'; });
    scheduler.postAfter(0.05, [&] {
        firstAt = scheduler.now() - start;
        ran += '1';
    });
    scheduler.postAfter(0.05, [&] { ran += '2'; });
    for (char task : std::string("abcde")) scheduler.post([&ran, task] { ran += task; });
    EXPECT_EQ(ran, "") << "post never runs inline";
    ASSERT_TRUE(spinUntil([&] { return ran.size() == 8; }));
    EXPECT_EQ(ran, "abcde123");
    EXPECT_GE(firstAt, 0.05) << "by the scheduler's own clock";
}

TEST(QtSchedulerTest, TasksPostedFromOtherThreadsAllRunOnTheMainThread) {
    QtScheduler scheduler;
    const auto mainThread = std::this_thread::get_id();
    std::atomic<int> offMain{0};
    int ran = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                auto task = [&] {
                    offMain += std::this_thread::get_id() != mainThread;
                    ++ran;
                };
                i % 2 ? scheduler.post(task) : scheduler.postAfter(0.01, task);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(spinUntil([&] { return ran == 400; }));
    EXPECT_EQ(offMain, 0);
}

TEST(QtSchedulerTest, ARepeatingTimerStopsWhenInvalidatedFromItsOwnAction) {
    QtScheduler scheduler;
    int fires = 0;
    std::unique_ptr<RepeatingTimer> timer = scheduler.scheduleRepeating(0.01, [&] {
        if (++fires == 3) timer->invalidate();
    });
    ASSERT_TRUE(spinUntil([&] { return fires == 3; }));
    spin(100);
    EXPECT_EQ(fires, 3);
    EXPECT_FALSE(timer->isValid());
}

TEST(QtSchedulerTest, TasksOfADestroyedSchedulerAreDroppedWithIt) {
    bool ran = false;
    // What a pending timer's task holds must go with the scheduler, while the
    // application object still exists, not at its teardown.
    auto held = std::make_shared<int>(0);
    {
        QtScheduler scheduler;
        scheduler.postAfter(60, [held] {});
        spin(50);
        scheduler.post([&] { ran = true; });
        scheduler.postAfter(0.01, [&] { ran = true; });
    }
    EXPECT_EQ(held.use_count(), 1);
    spin(100);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace sayvo
