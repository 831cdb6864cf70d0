#pragma once

#include <QTest>

// Runs the Qt event loop, as the application would, until `done` holds; the
// limit only keeps a failing test from hanging.
template <typename Done>
bool spinUntil(Done done, int limitMs = 5000) {
    return QTest::qWaitFor(done, limitMs);
}

// Runs the event loop for `ms`, so that events that must not come get their chance.
inline void spin(int ms) {
    QTest::qWait(ms);
}
