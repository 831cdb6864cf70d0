#include "SimScheduler.h"

namespace sayvo::sim {
namespace {

class SimRepeatingTimer final : public RepeatingTimer {
public:
    explicit SimRepeatingTimer(std::shared_ptr<std::atomic<bool>> live) : live_(std::move(live)) {}
    ~SimRepeatingTimer() override { invalidate(); }
    void invalidate() override { *live_ = false; }
    bool isValid() const override { return *live_; }

private:
    std::shared_ptr<std::atomic<bool>> live_;
};

}  // namespace

SimScheduler::~SimScheduler() {
    // Tasks never run may own objects that post as they go: drop them unlocked.
    std::map<std::pair<double, std::uint64_t>, Entry> pending;
    std::lock_guard lock(mutex_);
    pending.swap(queue_);
}

void SimScheduler::schedule(double deadline, Entry entry) {
    queue_.emplace(std::pair(deadline, nextSequence_++), std::move(entry));
}

void SimScheduler::postAfter(double seconds, Task task) {
    std::lock_guard lock(mutex_);
    schedule(now_ + (seconds > 0 ? seconds : 0), {std::move(task), nullptr});
}

std::unique_ptr<RepeatingTimer> SimScheduler::scheduleRepeating(double intervalSeconds,
                                                                Task action) {
    auto live = std::make_shared<std::atomic<bool>>(true);
    std::lock_guard lock(mutex_);
    schedule(now_ + intervalSeconds, {std::move(action), live, intervalSeconds});
    return std::make_unique<SimRepeatingTimer>(live);
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
            if (entry.live && !*entry.live) continue;  // invalidated
            work = entry.task;
            if (entry.live) schedule(now_ + entry.interval, std::move(entry));
            break;
        }
    }
    if (work) work();
    return true;
}

void SimScheduler::advance(double seconds) {
    double target = now() + seconds;
    while (runNextDueBy(target)) continue;
    std::lock_guard lock(mutex_);
    now_ = target;
}

std::size_t SimScheduler::pendingCount() const {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& [key, entry] : queue_) count += !entry.live || *entry.live;
    return count;
}

}  // namespace sayvo::sim
