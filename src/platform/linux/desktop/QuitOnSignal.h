#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "platform/linux/UniqueFd.h"

namespace sayvo {

// Turns SIGTERM and SIGINT into a clean quit of the Qt event loop (a signal
// handler may only write to a descriptor: one end of a socket pair, whose
// other end the loop reads).
// Thread: construct and destroy on the main thread, once per process.
class QuitOnSignal {
public:
    QuitOnSignal();
    ~QuitOnSignal();
    QuitOnSignal(const QuitOnSignal&) = delete;
    QuitOnSignal& operator=(const QuitOnSignal&) = delete;

private:
    UniqueFd writeEnd_;  // the signal handler's
    UniqueFd readEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace sayvo
