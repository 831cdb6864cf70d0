#pragma once

#include <QObject>

#include "platform/Scheduler.h"

namespace sayvo {

// The main queue and timers on the Qt event loop of the GUI thread.
// Thread: post/postAfter/now from any thread; scheduleRepeating on the main
// thread. Construct on the main thread after the QCoreApplication exists.
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    std::unique_ptr<RepeatingTimer> scheduleRepeating(double intervalSeconds, Task action) override;
    double now() const override;

private:
    // Tasks are delivered through this object; once it is gone (shutdown) the
    // queued ones are dropped by Qt.
    QObject* context_;
};

}  // namespace sayvo
