#pragma once

#include <QString>
#include <QVariantList>
#include <memory>

#include "core/Observable.h"
#include "platform/linux/ui/QmlViewModel.h"
#include "ui/MenuBarView.h"

namespace sayvo {

// The tray panel's view state as QML properties ("panel" in the QML). Every
// change of the view, the stored key or the hotkey becomes one `changed` per
// main-loop turn, and only while the panel is shown.
// Thread: GUI thread only.
class MenuBarViewModel : public QmlViewModel {
    Q_OBJECT
    Q_PROPERTY(bool useAliyunASR READ useAliyunASR NOTIFY changed)
    Q_PROPERTY(QString engineBadge READ engineBadge NOTIFY changed)
    Q_PROPERTY(QString apiKeyInput READ apiKeyInput WRITE setAPIKeyInput NOTIFY changed)
    Q_PROPERTY(bool keyEmpty READ keyEmpty NOTIFY changed)
    Q_PROPERTY(QString keyRowText READ keyRowText NOTIFY changed)
    Q_PROPERTY(bool editing READ editing NOTIFY changed)
    Q_PROPERTY(QString apiKeyError READ apiKeyError NOTIFY changed)
    Q_PROPERTY(bool showsConsoleLink READ showsConsoleLink NOTIFY changed)
    Q_PROPERTY(bool capturing READ capturing NOTIFY changed)
    Q_PROPERTY(QString hotkeyText READ hotkeyText NOTIFY changed)
    Q_PROPERTY(bool hotkeyTaken READ hotkeyTaken NOTIFY changed)
    Q_PROPERTY(QString captureRefusal READ captureRefusal NOTIFY changed)
    Q_PROPERTY(QString hotkeyTakenText READ hotkeyTakenText CONSTANT)
    Q_PROPERTY(bool showPermissions READ showPermissions NOTIFY changed)
    Q_PROPERTY(QVariantList permissions READ permissions NOTIFY changed)
    Q_PROPERTY(QString settingsTitle READ settingsTitle NOTIFY changed)
    Q_PROPERTY(QString invitationText READ invitationText CONSTANT)
    Q_PROPERTY(QString consoleLinkText READ consoleLinkText CONSTANT)
    Q_PROPERTY(QString enabledText READ enabledText CONSTANT)
    Q_PROPERTY(QString permissionsRowText READ permissionsRowText CONSTANT)
    Q_PROPERTY(QString quitRowText READ quitRowText CONSTANT)
    Q_PROPERTY(bool startsAtLogin READ startsAtLogin NOTIFY changed)
    Q_PROPERTY(QString startAtLoginRowText READ startAtLoginRowText CONSTANT)

public:
    void setView(std::shared_ptr<MenuBarView> view);
    MenuBarView* view() const { return view_.get(); }
    // Redraws are only worth their cost while the panel is on screen.
    void setShown(bool shown);

    bool useAliyunASR() const;
    QString engineBadge() const;
    QString apiKeyInput() const;
    void setAPIKeyInput(const QString& text);
    bool keyEmpty() const;
    QString keyRowText() const;
    bool editing() const;
    QString apiKeyError() const;
    bool showsConsoleLink() const;
    bool capturing() const;
    QString hotkeyText() const;
    bool hotkeyTaken() const;
    QString captureRefusal() const;
    QString hotkeyTakenText() const;
    bool showPermissions() const;
    QVariantList permissions() const;
    QString settingsTitle() const;
    QString invitationText() const;
    QString consoleLinkText() const;
    QString enabledText() const;
    QString permissionsRowText() const;
    QString quitRowText() const;
    bool startsAtLogin() const;
    QString startAtLoginRowText() const;

    Q_INVOKABLE void toggleAPIKeyEditing();
    Q_INVOKABLE void submitAPIKey();
    Q_INVOKABLE void cancelAPIKeyEditing();
    Q_INVOKABLE void openConsole();
    Q_INVOKABLE void toggleHotkeyRecording();
    Q_INVOKABLE void togglePermissions();
    Q_INVOKABLE void openSettings();
    Q_INVOKABLE void toggleStartAtLogin();
    Q_INVOKABLE void quit();

signals:
    void changed();

private:
    void observe();

    std::shared_ptr<MenuBarView> view_;
    bool shown_ = false;
    CoalescedUpdate update_{this, [this] { emit changed(); }};
    Subscription viewObserver_;
    Subscription recognizerObserver_;
    Subscription hotkeyObserver_;
};

}  // namespace sayvo
