#include "ui/MenuBarView.h"

#include <vector>

#include "core/Utf8.h"

namespace sayvo {

namespace {
constexpr std::size_t kShownKeyCharacters = 6;
const std::string kBullets = "••••••";
}  // namespace

std::string maskedAPIKey(const std::string& key) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (startsUtf8Character(key[i])) starts.push_back(i);
    }
    const std::size_t from =
        starts.size() > kShownKeyCharacters ? starts[starts.size() - kShownKeyCharacters] : 0;
    return kBullets + key.substr(from);
}

std::shared_ptr<MenuBarView> MenuBarView::create(const Platform& platform,
                                                 std::shared_ptr<SpeechRecognizer> speechRecognizer,
                                                 HotkeyManager& hotkeyManager) {
    return std::shared_ptr<MenuBarView>(
        new MenuBarView(platform, std::move(speechRecognizer), hotkeyManager));
}

MenuBarView::MenuBarView(const Platform& platform,
                         std::shared_ptr<SpeechRecognizer> speechRecognizer,
                         HotkeyManager& hotkeyManager)
    : platform_(platform),
      speechRecognizer_(std::move(speechRecognizer)),
      hotkeyManager_(hotkeyManager) {}

MenuBarView::~MenuBarView() {
    removeCaptureMonitor();
}

bool MenuBarView::useAliyunASR() const {
    return speechRecognizer_->useAliyunASR();
}

std::string MenuBarView::engineBadge() const {
    return say(useAliyunASR() ? SAYVO_TEXT("MenuBarView", "阿里云")
                              : SAYVO_TEXT("MenuBarView", "系统"));
}

std::string MenuBarView::keyRowText() const {
    const std::string& key = apiKeyInput;
    if (!key.empty()) return maskedAPIKey(key);
    return say(speechRecognizer_->apiKeyStore().isKeyOutOfReach() ? keyringWaitText : unsetKeyText);
}

bool MenuBarView::showsConsoleLink() const {
    return apiKeyInput.get().empty();
}

std::string MenuBarView::hotkeyButtonText() const {
    if (platform_.keyboard.desktopOwnsBindings()) {
        const std::string& trigger = hotkeyManager_.desktopTrigger;
        const std::string desktop = platform_.keyboard.bindingDesktop();
        if (desktop.empty()) return trigger.empty() ? say(unboundHotkeyText) : trigger;
        if (!trigger.empty()) return trigger + " · " + desktop;
        return withArguments(say(SAYVO_TEXT("MenuBarView", "添加到 %1 快捷键")), {desktop});
    }
    const ModifierNotation notation = platform_.keyboard.modifierNotation();
    if (!isRecordingHotkey) return hotkeyManager_.displayString();
    if (capturedModifiers == 0) return say(capturingText);
    return HotkeyCombo::modifierString(capturedModifiers, notation) + "…";
}

void MenuBarView::appear() {
    apiKeyInput = speechRecognizer_->aliyunAPIKey();
    startsAtLogin = platform_.loginItem.isEnabled();
    // The keyring may answer while the panel is open, once its prompt is dealt with.
    keyringObserver_ = speechRecognizer_->apiKeyStore().keyring.values.subscribe(
        [weak = weak_from_this()](APIKeyStore::Keyring) {
            auto self = weak.lock();
            if (self && !self->showAPIKey)
                self->apiKeyInput = self->speechRecognizer_->aliyunAPIKey();
        });
}

void MenuBarView::disappear() {
    showAPIKey = false;
    apiKeyError = "";
    showPermissions = false;
    if (isRecordingHotkey) endCapture(true);
}

void MenuBarView::toggleAPIKeyEditing() {
    // A refused key keeps the field open, so the user sees why and can mend it.
    if (showAPIKey && !saveAPIKey()) return;
    showAPIKey = !showAPIKey;
}

void MenuBarView::submitAPIKey() {
    saveAPIKey();
}

void MenuBarView::cancelAPIKeyEditing() {
    apiKeyInput = speechRecognizer_->aliyunAPIKey();
    apiKeyError = "";
    showAPIKey = false;
}

bool MenuBarView::saveAPIKey() {
    // A copied key very often carries a line break or spaces around it;
    // inside, a line break would end the handshake header it travels in.
    const std::string key(trimmedWhitespace(apiKeyInput.get()));
    if (hasControlCharacter(key)) {
        apiKeyError = say(invalidKeyText);
        return false;
    }
    apiKeyError = "";
    apiKeyInput = key;
    speechRecognizer_->setAliyunAPIKey(key);
    return true;
}

void MenuBarView::openConsole() {
    if (platform_.urls.open(consoleURL)) return;
    // Without a browser the link would do nothing visible: hand the address over.
    platform_.pasteboard.clearContents();
    platform_.pasteboard.setString(consoleURL);
    if (onError) onError(say(noBrowserText) + consoleURL);
}

std::string MenuBarView::permissionSettingsTitle() const {
    return platform_.permissions.settingsTitle();
}

void MenuBarView::togglePermissions() {
    if (!showPermissions) {
        permissions_ = platform_.permissions.currentStatus();
        permissions_.push_back(speechRecognizer_->apiKeyStore().status());
    }
    showPermissions = !showPermissions;
}

void MenuBarView::openPermissionSettings() {
    platform_.permissions.openSettings();
}

// The click asks for the opposite of what the row showed.
void MenuBarView::toggleStartAtLogin() {
    const auto error = platform_.loginItem.setEnabled(!startsAtLogin);
    startsAtLogin = platform_.loginItem.isEnabled();
    if (error && onError) onError(say(startAtLoginFailedText) + error->localizedDescription);
}

void MenuBarView::quit() {
    platform_.shell.quit();
}

void MenuBarView::toggleHotkeyRecording() {
    // The desktop owns the key there: its settings change it, not a capture.
    if (platform_.keyboard.desktopOwnsBindings()) {
        platform_.keyboard.openDesktopShortcutSettings();
        return;
    }
    if (isRecordingHotkey) {
        endCapture(true);
        return;
    }
    isRecordingHotkey = true;
    hotkeyManager_.startRecordingHotkey();
    setupCaptureMonitor();
}

void MenuBarView::setupCaptureMonitor() {
    std::weak_ptr<MenuBarView> weak = weak_from_this();
    captureMonitor_ = platform_.keyboard.addLocalMonitor(
        KeyEventMask::keyDown | KeyEventMask::flagsChanged,
        [weak](const KeyEvent& event) -> std::optional<KeyEvent> {
            auto self = weak.lock();
            return self ? self->offerToCapture(event) : event;
        });
}

std::optional<KeyEvent> MenuBarView::offerToCapture(const KeyEvent& event) {
    if (!isRecordingHotkey) return event;
    if (event.type == KeyEventType::flagsChanged) capturedModifiers = event.modifierFlags;
    // Escape cancels, as in every desktop's shortcut editor: nobody wants it
    // as a push-to-talk key. The monitor is not removed from inside itself.
    const bool escape = event.type == KeyEventType::keyDown && event.keyCode == KeyCode::escape &&
                        event.modifierFlags == 0;
    if (escape || hotkeyManager_.recordHotkey(event)) {
        std::weak_ptr<MenuBarView> weak = weak_from_this();
        platform_.scheduler.post([weak, escape] {
            auto self = weak.lock();
            if (self && self->isRecordingHotkey) self->endCapture(escape);
        });
    }
    return std::nullopt;  // nothing reaches the panel while capturing
}

void MenuBarView::endCapture(bool cancelled) {
    isRecordingHotkey = false;
    capturedModifiers = 0;
    if (cancelled) hotkeyManager_.stopRecordingHotkey();
    removeCaptureMonitor();
}

void MenuBarView::removeCaptureMonitor() {
    if (!captureMonitor_) return;
    platform_.keyboard.removeMonitor(*captureMonitor_);
    captureMonitor_.reset();
}

}  // namespace sayvo
