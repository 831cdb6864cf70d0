#include "SimScheduler.h"

namespace sayvo::sim {

class SimRepeatingTimer final : public RepeatingTimer {
public:
    SimRepeatingTimer(SimScheduler& scheduler, std::uint64_t id) : scheduler_(scheduler), id_(id) {}
    ~SimRepeatingTimer() override { invalidate(); }
    void invalidate() override {
        if (valid_) scheduler_.cancelTimer(id_);
        valid_ = false;
    }
    bool isValid() const override { return valid_; }

private:
    SimScheduler& scheduler_;
    std::uint64_t id_;
    bool valid_ = true;
};

SimScheduler::~SimScheduler() {
    // Tasks never run may own objects whose timers cancel themselves as they
    // go: drop them while the timer table still exists.
    std::map<Key, Entry> pending;
    {
        std::lock_guard lock(mutex_);
        pending.swap(queue_);
    }
    pending.clear();
}

void SimScheduler::post(Task task) {
    std::lock_guard lock(mutex_);
    queue_.emplace(Key{now_, nextSequence_++}, Entry{std::move(task), 0});
}

void SimScheduler::postAfter(double seconds, Task task) {
    std::lock_guard lock(mutex_);
    const double deadline = now_ + (seconds > 0 ? seconds : 0);
    queue_.emplace(Key{deadline, nextSequence_++}, Entry{std::move(task), 0});
}

std::unique_ptr<RepeatingTimer> SimScheduler::scheduleRepeating(double intervalSeconds,
                                                                Task action) {
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        id = nextTimerId_++;
        timers_[id] = {intervalSeconds, std::move(action)};
        queue_.emplace(Key{now_ + intervalSeconds, nextSequence_++}, Entry{nullptr, id});
    }
    return std::make_unique<SimRepeatingTimer>(*this, id);
}

void SimScheduler::cancelTimer(std::uint64_t timerId) {
    std::lock_guard lock(mutex_);
    timers_.erase(timerId);
}

double SimScheduler::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

bool SimScheduler::runNextDueBy(double limit) {
    Task work;
    {
        std::lock_guard lock(mutex_);
        for (;;) {
            if (queue_.empty() || queue_.begin()->first.first > limit) return false;
            auto node = queue_.extract(queue_.begin());
            if (node.key().first > now_) now_ = node.key().first;
            Entry& entry = node.mapped();
            if (entry.timerId == 0) {
                work = std::move(entry.task);
                break;
            }
            auto timer = timers_.find(entry.timerId);
            if (timer == timers_.end()) continue;  // invalidated
            const double interval = timer->second.first;
            queue_.emplace(Key{now_ + interval, nextSequence_++}, Entry{nullptr, entry.timerId});
            work = timer->second.second;
            break;
        }
    }
    if (work) work();
    return true;
}

void SimScheduler::advance(double seconds) {
    double target = 0;
    {
        std::lock_guard lock(mutex_);
        target = now_ + seconds;
    }
    while (runNextDueBy(target)) {
    }
    std::lock_guard lock(mutex_);
    now_ = target;
}

void SimScheduler::runUntilIdle() {
    advance(0);
}

std::size_t SimScheduler::pendingCount() const {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& [key, entry] : queue_) {
        if (entry.timerId == 0 || timers_.count(entry.timerId)) ++count;
    }
    return count;
}

}  // namespace sayvo::sim
