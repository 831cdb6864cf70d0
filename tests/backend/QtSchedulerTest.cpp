#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <memory>
#include <thread>

#include "platform/linux/services/QtScheduler.h"

using namespace sayvo;

TEST(QtSchedulerTest, RunsTasksFromAnyThreadOnTheMainThreadInOrderAndDropsThemWithItself) {
    std::string ran;  // posted: a to e; after 0.05 s: 1 then 2; after 0.12 s: 3
    std::atomic<int> fromThreads{0}, offMain{0};
    int fires = 0;
    auto held = std::make_shared<int>(0);
    {
        QtScheduler scheduler;
        scheduler.postAfter(0.12, [&] { ran += '3'; });
        scheduler.postAfter(0.05, [&] { ran += '1'; });
        scheduler.postAfter(0.05, [&] { ran += '2'; });
        for (char task : std::string("abcde")) scheduler.post([&ran, task] { ran += task; });
        EXPECT_EQ(ran, "") << "post never runs inline";
        const auto fromAThread = [&, mainThread = std::this_thread::get_id()] {
            offMain += std::this_thread::get_id() != mainThread;
            ++fromThreads;
        };
        std::jthread poster([&] {
            for (int i = 0; i < 400; ++i)
                i % 2 ? scheduler.post(fromAThread) : scheduler.postAfter(0.01, fromAThread);
        });
        std::unique_ptr<RepeatingTimer> timer = scheduler.scheduleRepeating(0.01, [&] {
            if (++fires == 3) timer->invalidate();
        });
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return ran.size() == 8 && fromThreads == 400 && fires > 2; }));
        EXPECT_EQ(offMain, 0);
        EXPECT_FALSE(timer->isValid()) << "invalidated from its own action";
        // What a pending task holds must go with the scheduler, while the
        // application object still exists, not at its teardown.
        scheduler.postAfter(60, [held] {});
        QTest::qWait(50);
        scheduler.post([&] { ran += 'x'; });
        scheduler.postAfter(0.01, [&] { ran += 'x'; });
    }
    EXPECT_EQ(held.use_count(), 1);
    QTest::qWait(100);
    EXPECT_EQ(ran, "abcde123");
    EXPECT_EQ(fires, 3);
}
