#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "platform/Scheduler.h"

namespace sayvo::sim {

// A virtual clock and run loop. Nothing runs until the test calls advance()
// or runUntilIdle(); then every due task and timer fire runs in deadline
// order, first scheduled first on ties, on the calling (test) thread.
// post/postAfter are safe from any thread; the rest is for the test thread.
class SimScheduler final : public Scheduler {
public:
    SimScheduler() = default;
    ~SimScheduler() override;
    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    std::unique_ptr<RepeatingTimer> scheduleRepeating(double intervalSeconds, Task action) override;
    double now() const override;

    // Moves the clock forward by `seconds`, running everything that falls due
    // on the way (each at its own deadline), tasks scheduled meanwhile included.
    void advance(double seconds);
    // Runs everything due now, including tasks those tasks post for now.
    void runUntilIdle();
    // Tasks and live timer fires waiting.
    std::size_t pendingCount() const;

private:
    struct Entry {
        Task task;
        std::uint64_t timerId = 0;  // 0 for a one-shot task
    };
    using Key = std::pair<double, std::uint64_t>;  // deadline, sequence

    friend class SimRepeatingTimer;
    void schedule(double deadline, Task task, std::uint64_t timerId);
    void cancelTimer(std::uint64_t timerId);
    bool runNextDueBy(double limit);

    mutable std::mutex mutex_;
    std::map<Key, Entry> queue_;
    std::map<std::uint64_t, std::pair<double, Task>> timers_;  // id -> interval, action
    double now_ = 1000.0;                                      // not zero, so "time 0" bugs show
    std::uint64_t nextSequence_ = 0;
    std::uint64_t nextTimerId_ = 1;
};

}  // namespace sayvo::sim
