#include "platform/linux/desktop/DesktopSystemPermissions.h"

#include <chrono>
#include <cstdlib>

#include "platform/linux/audio/PulseDefaultSource.h"
#include "platform/linux/desktop/SettingsProgram.h"
#include "platform/linux/ui/QtTranslations.h"
#include "platform/linux/x11/X11Extensions.h"

namespace sayvo {
namespace {

constexpr std::chrono::milliseconds kSoundServerWait{1000};
constexpr Text kMicrophone = SAYVO_TEXT("DesktopSystemPermissions", "麦克风");

PermissionStatus sessionStatus(const X11Extensions& display) {
    PermissionStatus status{translated(SAYVO_TEXT("DesktopSystemPermissions", "X11 会话")), false,
                            ""};
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const std::string session = type ? type : "";
    if (session == "wayland") {
        status.detail = translated(
            SAYVO_TEXT("DesktopSystemPermissions", "Wayland 会话中快捷键和粘贴只对 X11 应用有效"));
    } else if (session == "x11" || display.connected) {
        status.granted = true;
    } else {
        status.detail =
            translated(SAYVO_TEXT("DesktopSystemPermissions", "未连接到 X11 显示服务器"));
    }
    return status;
}

PermissionStatus microphoneStatus() {
    const PulseDefaultSource source = queryPulseDefaultSource(kSoundServerWait);
    switch (source.state) {
        case PulseDefaultSource::State::found:
            return {translated(kMicrophone), true, source.description};
        case PulseDefaultSource::State::noDefaultSource:
            return {
                translated(kMicrophone), false,
                translated(SAYVO_TEXT("DesktopSystemPermissions", "未找到麦克风，请检查声音设置"))};
        case PulseDefaultSource::State::unreachable:
            break;
    }
    return {translated(kMicrophone), false,
            translated(SAYVO_TEXT("DesktopSystemPermissions", "无法连接 PulseAudio 声音服务"))};
}

// The desktop's sound settings, or the mixer that works on any desktop.
const SettingsProgram kSoundSettings[] = {
    {"gnome-control-center", {"sound"}},
    {"systemsettings", {"kcm_pulseaudio"}},
    {"pavucontrol", {}},
};

}  // namespace

std::vector<PermissionStatus> DesktopSystemPermissions::currentStatus() {
    std::vector<PermissionStatus> items;
    if (sessionItems_) {
        items = sessionItems_();
    } else {
        const X11Extensions display = queryX11Extensions();
        items = {
            sessionStatus(display),
            {translated(SAYVO_TEXT("DesktopSystemPermissions", "XInput2 扩展")), display.xinput2,
             display.xinput2 ? ""
                             : translated(SAYVO_TEXT("DesktopSystemPermissions",
                                                     "快捷键需要 X 服务器的 XInput2 扩展"))},
            {translated(SAYVO_TEXT("DesktopSystemPermissions", "XTEST 扩展")), display.xtest,
             display.xtest ? ""
                           : translated(SAYVO_TEXT("DesktopSystemPermissions",
                                                   "粘贴需要 X 服务器的 XTEST 扩展"))},
        };
    }
    items.push_back(microphoneStatus());
    if (otherItems_) {
        for (PermissionStatus& item : otherItems_()) items.push_back(std::move(item));
    }
    return items;
}

std::string DesktopSystemPermissions::settingsTitle() const {
    return anySettingsProgramInstalled(kSoundSettings)
               ? translated(SAYVO_TEXT("DesktopSystemPermissions", "打开声音设置"))
               : "";
}

void DesktopSystemPermissions::openSettings() {
    startSettingsProgram(kSoundSettings);
}

}  // namespace sayvo
