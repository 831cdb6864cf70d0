#include "platform/linux/services/QtScheduler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <chrono>
#include <cmath>

namespace sayvo {

namespace {

int toMilliseconds(double seconds) {
    if (!(seconds > 0)) return 0;
    const double ms = std::ceil(seconds * 1000.0);
    return ms > 2'000'000'000.0 ? 2'000'000'000 : static_cast<int>(ms);
}

class QtRepeatingTimer final : public RepeatingTimer {
public:
    QtRepeatingTimer(double intervalSeconds, Scheduler::Task action) : action_(std::move(action)) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(toMilliseconds(intervalSeconds));
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // Copy first: the action may invalidate (and so release) itself.
            auto action = action_;
            if (action) action();
        });
        timer_.start();
    }
    void invalidate() override {
        timer_.stop();
        action_ = nullptr;
    }
    bool isValid() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    Scheduler::Task action_;
};

}  // namespace

QtScheduler::QtScheduler() : context_(new QObject()) {
    context_->moveToThread(QCoreApplication::instance()->thread());
}

QtScheduler::~QtScheduler() {
    delete context_;
}

void QtScheduler::post(Task task) {
    QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
}

void QtScheduler::postAfter(double seconds, Task task) {
    const int ms = toMilliseconds(seconds);
    if (ms == 0) {
        post(std::move(task));
        return;
    }
    // Timers need an event loop on their thread: hop to main first. Each one
    // is a child of the context, so a pending task goes with the scheduler; a
    // QTimer::singleShot would keep it until the application object is torn
    // down, too late for what it holds.
    QObject* context = context_;
    QMetaObject::invokeMethod(
        context_,
        [context, ms, task = std::move(task)]() mutable {
            auto* timer = new QTimer(context);
            timer->setSingleShot(true);
            timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer, &QTimer::timeout, context,
                             [timer, task = std::move(task)]() mutable {
                                 const Task run = std::move(task);
                                 timer->deleteLater();
                                 run();
                             });
            timer->start(ms);
        },
        Qt::QueuedConnection);
}

std::unique_ptr<RepeatingTimer> QtScheduler::scheduleRepeating(double intervalSeconds,
                                                               Task action) {
    return std::make_unique<QtRepeatingTimer>(intervalSeconds, std::move(action));
}

double QtScheduler::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace sayvo
