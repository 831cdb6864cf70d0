#include "platform/linux/PanelModel.h"

#include <QMetaObject>
#include <QVariantMap>

#include "ui/Color.h"

namespace sayvo {

namespace {
QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

void PanelModel::setView(std::shared_ptr<MenuBarView> view) {
    view_ = std::move(view);
    observe();
    update();
}

void PanelModel::setShown(bool shown) {
    if (shown_ == shown) return;
    shown_ = shown;
    observe();
    if (shown_) update();
}

void PanelModel::observe() {
    viewObserver_.reset();
    recognizerObserver_.reset();
    hotkeyObserver_.reset();
    if (!view_ || !shown_) return;
    viewObserver_ = view_->objectWillChange.subscribe([this] { scheduleUpdate(); });
    recognizerObserver_ =
        view_->speechRecognizer().objectWillChange.subscribe([this] { scheduleUpdate(); });
    hotkeyObserver_ =
        view_->hotkeyManager().objectWillChange.subscribe([this] { scheduleUpdate(); });
}

// Stores announce themselves before they happen: read them a turn later.
void PanelModel::scheduleUpdate() {
    if (pending_) return;
    pending_ = true;
    QMetaObject::invokeMethod(this, &PanelModel::update, Qt::QueuedConnection);
}

void PanelModel::update() {
    pending_ = false;
    emit changed();
}

bool PanelModel::useAliyunASR() const {
    return view_ && view_->useAliyunASR();
}
QString PanelModel::engineBadge() const {
    return view_ ? qs(view_->engineBadge()) : QString();
}
QString PanelModel::apiKeyInput() const {
    return view_ ? qs(view_->apiKeyInput) : QString();
}
void PanelModel::setAPIKeyInput(const QString& text) {
    if (view_ && text != apiKeyInput()) view_->apiKeyInput = text.toStdString();
}
bool PanelModel::keyEmpty() const {
    return !view_ || view_->apiKeyInput.get().empty();
}
QString PanelModel::keyRowText() const {
    return view_ ? qs(view_->keyRowText()) : QString();
}
bool PanelModel::editing() const {
    return view_ && view_->showAPIKey;
}
bool PanelModel::showsConsoleLink() const {
    return !view_ || view_->showsConsoleLink();
}
bool PanelModel::capturing() const {
    return view_ && view_->isRecordingHotkey;
}
QString PanelModel::hotkeyText() const {
    return view_ ? qs(view_->hotkeyButtonText()) : QString();
}
bool PanelModel::hotkeyTaken() const {
    return view_ && view_->isHotkeyTaken();
}
QString PanelModel::hotkeyTakenText() const {
    return qs(MenuBarView::hotkeyTakenText);
}
bool PanelModel::showPermissions() const {
    return view_ && view_->showPermissions;
}
QVariantList PanelModel::permissions() const {
    QVariantList list;
    if (!view_) return list;
    for (const PermissionStatus& status : view_->permissions()) {
        list.append(QVariantMap{{QStringLiteral("title"), qs(status.title)},
                                {QStringLiteral("granted"), status.granted},
                                {QStringLiteral("detail"), qs(status.detail)}});
    }
    return list;
}
QString PanelModel::settingsTitle() const {
    return view_ ? qs(view_->permissionSettingsTitle()) : QString();
}
QString PanelModel::invitationText() const {
    return qs(MenuBarView::invitationText);
}
QString PanelModel::consoleLinkText() const {
    return qs(MenuBarView::consoleLinkText);
}
QString PanelModel::enabledText() const {
    return qs(MenuBarView::enabledText);
}
QString PanelModel::permissionsRowText() const {
    return qs(MenuBarView::permissionsRowText);
}
QString PanelModel::quitRowText() const {
    return qs(MenuBarView::quitRowText);
}
bool PanelModel::startsAtLogin() const {
    return view_ && view_->startsAtLogin;
}
QString PanelModel::startAtLoginRowText() const {
    return qs(MenuBarView::startAtLoginRowText);
}
QColor PanelModel::accentColor() const {
    return QColor(qs(sayvo::accentColor.argbHex()));
}

void PanelModel::toggleAPIKeyEditing() {
    if (view_) view_->toggleAPIKeyEditing();
}
void PanelModel::submitAPIKey() {
    if (view_) view_->submitAPIKey();
}
void PanelModel::openConsole() {
    if (view_) view_->openConsole();
}
void PanelModel::toggleHotkeyRecording() {
    if (view_) view_->toggleHotkeyRecording();
}
void PanelModel::toggleStartAtLogin() {
    if (view_) view_->toggleStartAtLogin();
}
void PanelModel::togglePermissions() {
    if (view_) view_->togglePermissions();
}
void PanelModel::openSettings() {
    if (view_) view_->openPermissionSettings();
}
void PanelModel::quit() {
    if (view_) view_->quit();
}

}  // namespace sayvo
