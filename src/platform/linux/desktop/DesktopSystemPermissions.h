#pragma once

#include <functional>

#include "platform/SystemPermissions.h"

namespace sayvo {

// What Sayvo needs from a Linux desktop: an X11 session, the XInput2 (hotkey)
// and XTEST (paste) extensions, and a PulseAudio default source. Nothing here
// is granted per application, so each item says whether it is present. Every
// call opens its own short X connection and sound server connection, so the
// answer follows the current DISPLAY server and a newly plugged microphone.
// The settings are the desktop's sound settings, or pavucontrol.
// Thread: GUI (main) thread only.
// Failure: no display means the X11 items are not granted; a sound server that
// does not answer within a second counts as unreachable.
class DesktopSystemPermissions final : public SystemPermissions {
public:
    using Items = std::function<std::vector<PermissionStatus>()>;
    // `sessionItems`, where given, stand in for the X11 ones (a Wayland
    // session's portals); the microphone is checked all the same, and
    // `otherItems` (the speech model) come last.
    explicit DesktopSystemPermissions(Items sessionItems = {}, Items otherItems = {})
        : sessionItems_(std::move(sessionItems)), otherItems_(std::move(otherItems)) {}

    std::vector<PermissionStatus> currentStatus() override;
    std::string settingsTitle() const override;
    void openSettings() override;

private:
    Items sessionItems_;
    Items otherItems_;
};

}  // namespace sayvo
