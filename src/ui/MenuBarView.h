#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Observable.h"
#include "hotkey/HotkeyManager.h"
#include "platform/Platform.h"
#include "speech/SpeechRecognizer.h"

namespace sayvo {

// "••••••" and the key's last six characters (the whole key when shorter),
// counted in characters, so a multi-byte character is never cut.
std::string maskedAPIKey(const std::string& key);

// The tray panel's view state and actions: the engine badge, the API key
// editor, the hotkey capture and the rows. One instance per opening of the
// panel. Thread: main thread only. Make it with create(): the capture's
// monitor and deferred work hold it weakly.
class MenuBarView : public Observable, public std::enable_shared_from_this<MenuBarView> {
public:
    static inline const std::string consoleURL =
        "https://bailian.console.aliyun.com/cn-beijing/"
        "?source_channel=%22sayvo%22&tab=app#/api-key";
    static constexpr Text noBrowserText =
        SAYVO_TEXT("MenuBarView", "没有可打开网页的浏览器，网址已复制到剪贴板：");
    static constexpr Text invalidKeyText =
        SAYVO_TEXT("MenuBarView", "API Key 含有换行等无效字符，未保存");
    static constexpr Text unsetKeyText = SAYVO_TEXT("MenuBarView", "未设置（使用系统识别）");
    static constexpr Text keyringWaitText = SAYVO_TEXT("MenuBarView", "等待密钥环解锁");
    static constexpr Text invitationText = SAYVO_TEXT("MenuBarView", "想要更精准的识别体验？");
    static constexpr Text consoleLinkText = SAYVO_TEXT("MenuBarView", "前往阿里云百炼获取 API Key");
    static constexpr Text enabledText = SAYVO_TEXT("MenuBarView", "已启用阿里云识别引擎");
    static constexpr Text capturingText = SAYVO_TEXT("MenuBarView", "按下新键...");
    static constexpr Text hotkeyTakenText = SAYVO_TEXT("MenuBarView", "已被其他程序占用");
    // Where the desktop owns the binding and has bound no key yet.
    static constexpr Text unboundHotkeyText = SAYVO_TEXT("MenuBarView", "未设置");

    // A text of the panel's in the user's language.
    std::string say(const Text& text) const { return platform_.translations.text(text); }

    static std::shared_ptr<MenuBarView> create(const Platform& platform,
                                               std::shared_ptr<SpeechRecognizer> speechRecognizer,
                                               HotkeyManager& hotkeyManager);
    ~MenuBarView();

    Published<bool> isRecordingHotkey{*this, false};
    Published<std::string> apiKeyInput{*this, ""};
    Published<bool> showAPIKey{*this, false};
    // Why the key in the field was not saved; empty once it is.
    Published<std::string> apiKeyError{*this, ""};
    // The modifiers held so far during a capture.
    Published<std::uint64_t> capturedModifiers{*this, 0};
    // The "系统权限" row shows what the system grants, inside the panel, and
    // where the API key is kept.
    Published<bool> showPermissions{*this, false};
    static constexpr Text permissionsRowText = SAYVO_TEXT("MenuBarView", "系统权限");
    static constexpr Text quitRowText = SAYVO_TEXT("MenuBarView", "退出");
    // The "开机启动" row's check mark: what is on disk, read at every opening
    // and after every change, whether the change worked or not.
    Published<bool> startsAtLogin{*this, false};
    static constexpr Text startAtLoginRowText = SAYVO_TEXT("MenuBarView", "开机启动");
    static constexpr Text startAtLoginFailedText = SAYVO_TEXT("MenuBarView", "无法更改开机启动：");
    // Told what went wrong, for the user to hear of it outside the panel.
    std::function<void(const std::string&)> onError;

    // What the panel shows besides its own state; watch them for redraws.
    SpeechRecognizer& speechRecognizer() { return *speechRecognizer_; }
    HotkeyManager& hotkeyManager() { return hotkeyManager_; }

    // The badge follows the stored key; the hint follows the field.
    bool useAliyunASR() const;
    std::string engineBadge() const;
    std::string keyRowText() const;
    bool showsConsoleLink() const;
    std::string hotkeyButtonText() const;
    // Another program holds the hotkey: the row says so until a new one is captured.
    bool isHotkeyTaken() const { return hotkeyManager_.isHotkeyTaken && !isRecordingHotkey; }
    // Why the last key pressed during the capture cannot be the hotkey.
    std::string captureRefusal() const {
        return isRecordingHotkey ? hotkeyManager_.captureRefusal.get() : std::string();
    }
    // As checked when the permissions view was last opened.
    const std::vector<PermissionStatus>& permissions() const { return permissions_; }
    // Empty when there are no settings to open.
    std::string permissionSettingsTitle() const;

    // The panel was opened (the field loads the stored key) or closed (an
    // unsaved edit is dropped; a capture under way is cancelled, so the
    // global hotkey keeps working).
    void appear();
    void disappear();

    // The pencil and checkmark button: leaving edit mode saves.
    void toggleAPIKeyEditing();
    // Return in the field: saves, the field stays open.
    void submitAPIKey();
    // Escape in the field: closes it, the stored key unchanged.
    void cancelAPIKeyEditing();
    void openConsole();
    void toggleHotkeyRecording();
    // The "系统权限" row: checks afresh on every opening of the view.
    void togglePermissions();
    void openPermissionSettings();
    void toggleStartAtLogin();
    void quit();

private:
    MenuBarView(const Platform& platform, std::shared_ptr<SpeechRecognizer> speechRecognizer,
                HotkeyManager& hotkeyManager);
    // False, with the reason in apiKeyError, when the key cannot be stored.
    bool saveAPIKey();
    void setupCaptureMonitor();
    void removeCaptureMonitor();
    std::optional<KeyEvent> offerToCapture(const KeyEvent& event);
    void endCapture(bool cancelled);

    Platform platform_;
    std::shared_ptr<SpeechRecognizer> speechRecognizer_;
    HotkeyManager& hotkeyManager_;
    std::optional<MonitorToken> captureMonitor_;
    std::vector<PermissionStatus> permissions_;
    Subscription keyringObserver_;
};

}  // namespace sayvo
