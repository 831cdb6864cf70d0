#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "SimScheduler.h"

namespace sayvo::sim {
namespace {

TEST(SimScheduler, RunsTasksInDeadlineOrderAndPostingOrderOnTies) {
    SimScheduler s;
    std::vector<std::string> ran;
    s.postAfter(0.5, [&] { ran.push_back("b@0.5"); });
    s.postAfter(0.1, [&] { ran.push_back("a@0.1"); });
    s.postAfter(0.5, [&] { ran.push_back("c@0.5"); });
    s.post([&] { ran.push_back("now"); });
    s.advance(0.4);
    EXPECT_EQ(ran, (std::vector<std::string>{"now", "a@0.1"}));
    s.advance(0.1);
    EXPECT_EQ(ran, (std::vector<std::string>{"now", "a@0.1", "b@0.5", "c@0.5"}));
}

TEST(SimScheduler, TasksPostedWhileRunningRunAtTheirOwnTime) {
    SimScheduler s;
    const double start = s.now();
    std::vector<double> at;
    s.postAfter(0.5, [&] {
        at.push_back(s.now() - start);
        s.postAfter(0.4, [&] { at.push_back(s.now() - start); });
        s.post([&] { at.push_back(s.now() - start); });
    });
    s.advance(0.8);
    ASSERT_EQ(at.size(), 2u);
    EXPECT_DOUBLE_EQ(at[0], 0.5);
    EXPECT_DOUBLE_EQ(at[1], 0.5);
    s.advance(0.1);
    ASSERT_EQ(at.size(), 3u);
    EXPECT_NEAR(at[2], 0.9, 1e-9);
    EXPECT_NEAR(s.now() - start, 0.9, 1e-9);
}

TEST(SimScheduler, RunUntilIdleRunsOnlyWhatIsDueNow) {
    SimScheduler s;
    int now = 0, later = 0;
    s.post([&] {
        ++now;
        s.post([&] { ++now; });
    });
    s.postAfter(0.01, [&] { ++later; });
    s.runUntilIdle();
    EXPECT_EQ(now, 2);
    EXPECT_EQ(later, 0);
    EXPECT_EQ(s.pendingCount(), 1u);
}

TEST(SimScheduler, RepeatingTimerFiresEveryIntervalUntilInvalidated) {
    SimScheduler s;
    int fires = 0;
    std::unique_ptr<RepeatingTimer> timer;
    timer = s.scheduleRepeating(0.5, [&] {
        if (++fires == 3) timer->invalidate();  // from inside its own action
    });
    s.advance(0.49);
    EXPECT_EQ(fires, 0);
    s.advance(10);
    EXPECT_EQ(fires, 3);
    EXPECT_FALSE(timer->isValid());

    auto dropped = s.scheduleRepeating(0.5, [&] { ++fires; });
    dropped.reset();  // destroying the handle stops it too
    s.advance(2);
    EXPECT_EQ(fires, 3);
    EXPECT_EQ(s.pendingCount(), 0u);
}

TEST(SimScheduler, PostingFromOtherThreadsLosesNothing) {
    SimScheduler s;
    std::atomic<int> ran{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) s.post([&] { ++ran; });
        });
    }
    // The loop keeps running while the others post, as the main thread would.
    while (ran < 1000) s.runUntilIdle();
    for (auto& thread : threads) thread.join();
    s.runUntilIdle();
    EXPECT_EQ(ran, 1000);
}

}  // namespace
}  // namespace sayvo::sim
