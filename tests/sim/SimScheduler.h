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
    ~SimScheduler() override {
        // Tasks never run may own objects that post as they go: drop them unlocked.
        decltype(queue_) pending;
        std::lock_guard lock(mutex_);
        pending.swap(queue_);
    }
    void post(Task task) override { postAfter(0, std::move(task)); }
    void postAfter(double seconds, Task task) override {
        std::lock_guard lock(mutex_);
        schedule(now_ + (seconds > 0 ? seconds : 0), {std::move(task), nullptr});
    }
    std::unique_ptr<RepeatingTimer> scheduleRepeating(double intervalSeconds,
                                                      Task action) override {
        auto live = std::make_shared<std::atomic<bool>>(true);
        std::lock_guard lock(mutex_);
        schedule(now_ + intervalSeconds, {std::move(action), live, intervalSeconds});
        return std::make_unique<Timer>(live);
    }
    double now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }

    // Moves the clock forward by `seconds`, running everything that falls due
    // on the way (each at its own deadline), tasks scheduled meanwhile included.
    void advance(double seconds) {
        const double target = now() + seconds;
        while (runNextDueBy(target)) continue;
        std::lock_guard lock(mutex_);
        now_ = target;
    }
    void runUntilIdle() { advance(0); }
    // Tasks and live timer fires waiting.
    std::size_t pendingCount() const {
        std::lock_guard lock(mutex_);
        std::size_t count = 0;
        for (const auto& [key, entry] : queue_) count += !entry.live || *entry.live;
        return count;
    }

private:
    using Live = std::shared_ptr<std::atomic<bool>>;  // null for a one-shot task
    struct Timer final : RepeatingTimer {
        explicit Timer(Live live) : live_(std::move(live)) {}
        ~Timer() override { invalidate(); }
        void invalidate() override { *live_ = false; }
        bool isValid() const override { return *live_; }
        Live live_;
    };
    struct Entry {
        Task task;
        Live live;
        double interval = 0;
    };
    void schedule(double deadline, Entry entry) {  // with mutex_ held
        queue_.emplace(std::pair(deadline, nextSequence_++), std::move(entry));
    }
    bool runNextDueBy(double limit) {
        Task work;
        {
            std::lock_guard lock(mutex_);
            for (;;) {
                if (queue_.empty() || queue_.begin()->first.first > limit) return false;
                auto node = queue_.extract(queue_.begin());
                if (node.key().first > now_) now_ = node.key().first;
                Entry& entry = node.mapped();
                if (entry.live && !*entry.live) continue;  // invalidated
                work = entry.task;
                if (entry.live) schedule(now_ + entry.interval, std::move(entry));
                break;
            }
        }
        if (work) work();
        return true;
    }

    mutable std::mutex mutex_;
    std::map<std::pair<double, std::uint64_t>, Entry> queue_;  // by deadline, then sequence
    double now_ = 1000.0;                                      // not zero, so "time 0" bugs show
    std::uint64_t nextSequence_ = 0;
};

}  // namespace sayvo::sim
