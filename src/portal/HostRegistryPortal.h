#pragma once

#include <functional>
#include <string>

#include "portal/PortalOutcome.h"

namespace sayvo {

// org.freedesktop.host.portal.Registry: tells the desktop which installed
// application a process outside a sandbox is, so that portals wanting an app
// id (GlobalShortcuts on GNOME) serve it. The desktop takes it only before
// the process's first portal method call, and only for an installed entry.
// Thread: main thread; the reply arrives on the main thread, never from
// within the call that asked for it.
// Failure: a call that cannot be made, or that the desktop refuses, replies
// `failed`.
class HostRegistryPortal {
public:
    virtual ~HostRegistryPortal() = default;

    virtual bool available() const = 0;
    virtual void registerApp(const std::string& appId,
                             std::function<void(PortalOutcome)> reply) = 0;
};

}  // namespace sayvo
