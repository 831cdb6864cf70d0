#pragma once

#include <functional>
#include <string>

#include "portal/PortalOutcome.h"

namespace sayvo {

// The RemoteDesktop desktop portal, for its keyboard only: keys sent through
// a session the user allowed reach the focused application.
// Thread: main thread; replies and events arrive on the main thread, never
// from within the call that asked for them.
// Failure: a call that cannot be made replies `failed`; keys sent through a
// session that is gone are dropped.
class RemoteDesktopPortal {
public:
    static constexpr unsigned keyboardDevice = 1;

    using SessionReply = std::function<void(PortalOutcome, const std::string& session)>;
    using Reply = std::function<void(PortalOutcome)>;
    // The device types the user allowed, and a token that restores this
    // grant in a later session without asking (empty where there is none).
    using StartReply =
        std::function<void(PortalOutcome, unsigned devices, const std::string& restoreToken)>;

    virtual ~RemoteDesktopPortal() = default;

    virtual bool available() const = 0;
    virtual void createSession(SessionReply reply) = 0;
    // Whether the desktop keeps a grant for later sessions (version 2).
    virtual bool restoresSessions() const { return false; }
    // Where it does, the session asks to be restorable until the user revokes
    // it, and a token from an earlier session (unless empty) restores that one.
    virtual void selectDevices(const std::string& session, unsigned devices,
                               const std::string& restoreToken, Reply reply) = 0;
    // Where the desktop asks the user, the reply waits for the answer.
    virtual void start(const std::string& session, StartReply reply) = 0;
    // An evdev key code, pressed or released.
    virtual void notifyKeyboardKeycode(const std::string& session, int keycode, bool pressed) = 0;
    // Called when the session made last is closed or the portal leaves the bus.
    virtual void setSessionClosedHandler(std::function<void()> handler) = 0;
};

}  // namespace sayvo
