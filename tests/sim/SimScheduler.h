#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/Scheduler.h"

namespace sayvo::sim {

// A virtual clock: advance() runs what falls due, in deadline order (ties first come),
// on the test thread. post/postAfter are safe from any thread.
struct SimScheduler final : Scheduler {
    ~SimScheduler() override;
    void post(Task task) override { postAfter(0, std::move(task)); }
    void postAfter(double seconds, Task task) override;
    std::unique_ptr<RepeatingTimer> scheduleRepeating(double intervalSeconds, Task action) override;
    double now() const override;

    // Moves the clock forward by `seconds`, running everything that falls due
    // on the way (each at its own deadline), tasks scheduled meanwhile included.
    void advance(double seconds);
    void runUntilIdle() { advance(0); }
    // Tasks and live timer fires waiting.
    std::size_t pendingCount() const;

private:
    using Live = std::shared_ptr<std::atomic<bool>>;  // null for a one-shot task
    struct Entry {
        Task task;
        Live live;
        double interval = 0;
    };
    void schedule(double deadline, Entry entry);  // with mutex_ held
    bool runNextDueBy(double limit);

    mutable std::mutex mutex_;
    std::map<std::pair<double, std::uint64_t>, Entry> queue_;  // by deadline, then sequence
    double now_ = 1000.0;                                      // not zero, so "time 0" bugs show
    std::uint64_t nextSequence_ = 0;
};

}  // namespace sayvo::sim
