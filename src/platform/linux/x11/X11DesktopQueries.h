#pragma once

#include <QPoint>
#include <optional>

namespace sayvo {

// Questions about the X11 desktop that Qt does not answer, asked on Qt's own
// X connection. Without an X11 display there is no focused window, a
// compositing manager is taken for granted, and nothing is sent.
// Thread: GUI thread only.

// The centre of the window that has the keyboard focus, in root coordinates.
std::optional<QPoint> focusedWindowCenter();

// Whether a compositing manager runs on the default screen, i.e. whether
// translucent window pixels blend with what lies below instead of showing black.
bool compositingManagerRunning();

// Sends what Qt has queued for the X server now, rather than when the event
// loop next waits: a window shown before blocking work is mapped at once.
void sendPendingRequests();

}  // namespace sayvo
