#include "platform/linux/ui/MenuBarViewModel.h"

#include <QVariantMap>

namespace sayvo {

void MenuBarViewModel::setView(std::shared_ptr<MenuBarView> view) {
    view_ = std::move(view);
    observe();
    update_.runNow();
}

void MenuBarViewModel::setShown(bool shown) {
    if (shown_ == shown) return;
    shown_ = shown;
    observe();
    if (shown_) update_.runNow();
}

void MenuBarViewModel::observe() {
    viewObserver_.reset();
    recognizerObserver_.reset();
    hotkeyObserver_.reset();
    if (!view_ || !shown_) return;
    viewObserver_ = view_->objectWillChange.subscribe([this] { update_.request(); });
    recognizerObserver_ =
        view_->speechRecognizer().objectWillChange.subscribe([this] { update_.request(); });
    hotkeyObserver_ =
        view_->hotkeyManager().objectWillChange.subscribe([this] { update_.request(); });
}

bool MenuBarViewModel::useAliyunASR() const {
    return view_ && view_->useAliyunASR();
}
QString MenuBarViewModel::engineBadge() const {
    return view_ ? qs(view_->engineBadge()) : QString();
}
QString MenuBarViewModel::apiKeyInput() const {
    return view_ ? qs(view_->apiKeyInput) : QString();
}
void MenuBarViewModel::setAPIKeyInput(const QString& text) {
    if (view_ && text != apiKeyInput()) view_->apiKeyInput = text.toStdString();
}
bool MenuBarViewModel::keyEmpty() const {
    return !view_ || view_->apiKeyInput.get().empty();
}
QString MenuBarViewModel::keyRowText() const {
    return view_ ? qs(view_->keyRowText()) : QString();
}
bool MenuBarViewModel::editing() const {
    return view_ && view_->showAPIKey;
}
bool MenuBarViewModel::showsConsoleLink() const {
    return !view_ || view_->showsConsoleLink();
}
bool MenuBarViewModel::capturing() const {
    return view_ && view_->isRecordingHotkey;
}
QString MenuBarViewModel::hotkeyText() const {
    return view_ ? qs(view_->hotkeyButtonText()) : QString();
}
bool MenuBarViewModel::hotkeyTaken() const {
    return view_ && view_->isHotkeyTaken();
}
QString MenuBarViewModel::captureRefusal() const {
    return view_ ? qs(view_->captureRefusal()) : QString();
}
QString MenuBarViewModel::apiKeyError() const {
    return view_ ? qs(view_->apiKeyError.get()) : QString();
}
QString MenuBarViewModel::hotkeyTakenText() const {
    return translated(MenuBarView::hotkeyTakenText);
}
bool MenuBarViewModel::showPermissions() const {
    return view_ && view_->showPermissions;
}
QVariantList MenuBarViewModel::permissions() const {
    QVariantList list;
    if (!view_) return list;
    for (const PermissionStatus& status : view_->permissions()) {
        list.append(QVariantMap{{QStringLiteral("title"), qs(status.title)},
                                {QStringLiteral("granted"), status.granted},
                                {QStringLiteral("detail"), qs(status.detail)}});
    }
    return list;
}
QString MenuBarViewModel::settingsTitle() const {
    return view_ ? qs(view_->permissionSettingsTitle()) : QString();
}
QString MenuBarViewModel::invitationText() const {
    return translated(MenuBarView::invitationText);
}
QString MenuBarViewModel::consoleLinkText() const {
    return translated(MenuBarView::consoleLinkText);
}
QString MenuBarViewModel::enabledText() const {
    return translated(MenuBarView::enabledText);
}
QString MenuBarViewModel::permissionsRowText() const {
    return translated(MenuBarView::permissionsRowText);
}
QString MenuBarViewModel::quitRowText() const {
    return translated(MenuBarView::quitRowText);
}
bool MenuBarViewModel::startsAtLogin() const {
    return view_ && view_->startsAtLogin;
}
QString MenuBarViewModel::startAtLoginRowText() const {
    return translated(MenuBarView::startAtLoginRowText);
}

void MenuBarViewModel::toggleAPIKeyEditing() {
    if (view_) view_->toggleAPIKeyEditing();
}
void MenuBarViewModel::submitAPIKey() {
    if (view_) view_->submitAPIKey();
}
void MenuBarViewModel::cancelAPIKeyEditing() {
    if (view_) view_->cancelAPIKeyEditing();
}
void MenuBarViewModel::openConsole() {
    if (view_) view_->openConsole();
}
void MenuBarViewModel::toggleHotkeyRecording() {
    if (view_) view_->toggleHotkeyRecording();
}
void MenuBarViewModel::toggleStartAtLogin() {
    if (view_) view_->toggleStartAtLogin();
}
void MenuBarViewModel::togglePermissions() {
    if (view_) view_->togglePermissions();
}
void MenuBarViewModel::openSettings() {
    if (view_) view_->openPermissionSettings();
}
void MenuBarViewModel::quit() {
    if (view_) view_->quit();
}

}  // namespace sayvo
