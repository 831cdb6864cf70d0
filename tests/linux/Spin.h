#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

// Runs the Qt event loop for `ms` milliseconds, as the application would.
inline void spin(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
