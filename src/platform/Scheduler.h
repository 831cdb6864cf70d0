#pragma once

#include <functional>
#include <memory>

namespace sayvo {

// A repeating timer on the main loop. Owned by whoever scheduled it; destroying
// the handle invalidates the timer.
// Thread: main thread only.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
    // Stops the timer for good; later fires never happen. Safe to call twice,
    // and from inside the timer's own action.
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

// The main queue, main-loop timers and the monotonic clock: the only way the
// logic learns the time or defers work.
class Scheduler {
public:
    using Task = std::function<void()>;
    virtual ~Scheduler() = default;

    // Runs `task` on the main thread after everything already posted.
    // Thread: any thread. Never fails; tasks posted after shutdown are dropped.
    virtual void post(Task task) = 0;

    // Runs `task` on the main thread once `seconds` have passed (0 or less
    // behaves like post). Tasks due at the same moment run in posting order.
    // Thread: any thread.
    virtual void postAfter(double seconds, Task task) = 0;

    // Calls `action` on the main thread every `intervalSeconds` until the
    // returned timer is invalidated or destroyed. The first call comes one
    // interval from now. Thread: main thread only.
    virtual std::unique_ptr<RepeatingTimer> scheduleRepeating(double intervalSeconds,
                                                              Task action) = 0;

    // Seconds on a monotonic clock with an arbitrary origin.
    // Thread: any thread.
    virtual double now() const = 0;
};

}  // namespace sayvo
