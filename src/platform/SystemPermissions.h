#pragma once

#include <string>
#include <vector>

namespace sayvo {

// One thing the hotkey, the paste or the microphone needs from the system.
struct PermissionStatus {
    std::string title;     // what is needed, e.g. "麦克风"
    bool granted = false;  // present and usable
    // What was found (the microphone's name) or, when missing, one line on
    // how to get it. Either may be empty.
    std::string detail;
};

// What Sayvo needs from the desktop session, and the settings where the user
// fixes what is missing. Thread: main thread only.
// Failure: a check that cannot be made reports its item as not granted.
class SystemPermissions {
public:
    virtual ~SystemPermissions() = default;
    // Checked afresh at every call; answers within a second even when a
    // service hangs.
    virtual std::vector<PermissionStatus> currentStatus() = 0;
    // The label of the settings button; empty when there are no settings to open.
    virtual std::string settingsTitle() const = 0;
    virtual void openSettings() = 0;
};

}  // namespace sayvo
