#pragma once

#include <functional>
#include <string>
#include <vector>

#include "portal/PortalOutcome.h"

namespace sayvo {

// The GlobalShortcuts desktop portal: shortcuts the compositor binds and
// reports pressed and released to this application.
// Thread: main thread; replies and events arrive on the main thread, never
// from within the call that asked for them.
// Failure: a call that cannot be made replies `failed`.
class GlobalShortcutsPortal {
public:
    struct Shortcut {
        std::string id;
        std::string description;
        std::string preferredTrigger;  // in the portal's notation, "CTRL+ALT+space"
    };
    // A shortcut as the desktop bound it; the trigger in its own words
    // ("Ctrl+Alt+Space"), empty when it bound no key.
    struct Binding {
        std::string id;
        std::string triggerDescription;
    };
    using SessionReply = std::function<void(PortalOutcome, const std::string& session)>;
    using BindReply = std::function<void(PortalOutcome, const std::vector<Binding>&)>;

    struct Events {
        std::function<void(const std::string& id)> activated;
        std::function<void(const std::string& id)> deactivated;
        std::function<void(const std::vector<Binding>&)> shortcutsChanged;
        // The session was closed, or the portal left the bus.
        std::function<void()> sessionClosed;
    };

    virtual ~GlobalShortcutsPortal() = default;

    // Whether the portal offers the interface at all.
    virtual bool available() const = 0;
    // `token` names the session, so the desktop keeps the user's bindings
    // across runs. The shortcuts go along too, for desktops that take them here.
    virtual void createSession(const std::string& token, const std::vector<Shortcut>& shortcuts,
                               SessionReply reply) = 0;
    virtual void bindShortcuts(const std::string& session, const std::vector<Shortcut>& shortcuts,
                               BindReply reply) = 0;
    // The events of the session made last; replaces earlier handlers.
    virtual void setEvents(Events events) = 0;
};

}  // namespace sayvo
