#include <gtest/gtest.h>

#include <vector>

#include "SimScheduler.h"

namespace sayvo::sim {
namespace {

// Every timing test leans on the virtual clock: it must run work in deadline
// order, posting order on ties, and work posted while running at its own time.
TEST(SimScheduler, RunsWorkAtItsDeadlineInPostingOrder) {
    SimScheduler s;
    std::vector<std::string> ran;
    const double start = s.now();
    auto note = [&](std::string what) {
        ran.push_back(what + "@" + std::to_string(s.now() - start));
    };
    s.postAfter(0.5, [&] {
        note("b");
        s.postAfter(0.25, [&] { note("d"); });
        s.post([&] { note("b-next"); });
    });
    s.postAfter(0.125, [&] { note("a"); });
    s.postAfter(0.5, [&] { note("c"); });
    s.post([&] { note("now"); });
    s.runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"now@0.000000"});
    s.advance(0.5);
    EXPECT_EQ(ran, (std::vector<std::string>{"now@0.000000", "a@0.125000", "b@0.500000",
                                             "c@0.500000", "b-next@0.500000"}));
    EXPECT_EQ(s.pendingCount(), 1u);
    s.advance(0.25);
    EXPECT_EQ(ran.back(), "d@0.750000");
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

}  // namespace
}  // namespace sayvo::sim
