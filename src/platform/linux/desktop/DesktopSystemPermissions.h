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
    DesktopSystemPermissions() = default;
    // Where another session's own items (a Wayland session's portals) stand
    // in for the X11 ones; the microphone is checked all the same.
    explicit DesktopSystemPermissions(Items sessionItems)
        : sessionItems_(std::move(sessionItems)) {}

    std::vector<PermissionStatus> currentStatus() override;
    std::string settingsTitle() const override;
    void openSettings() override;

private:
    Items sessionItems_;
};

}  // namespace sayvo
