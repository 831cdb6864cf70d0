#pragma once

#include <QString>

#include "platform/LoginItem.h"

namespace sayvo {

// The user's XDG autostart entry ($XDG_CONFIG_HOME/autostart/<id>.desktop),
// which every desktop following the XDG Autostart specification reads at login.
// An entry the user turned off in the desktop's own settings (Hidden, or
// GNOME's X-GNOME-Autostart-enabled=false) counts as off.
// Thread: GUI thread only.
class XdgAutostart final : public LoginItem {
public:
    // program: the path the entry starts, the running binary's own.
    XdgAutostart(QString applicationId, QString program);
    static QString defaultDirectory();

    // For tests: the folder holding the entry.
    XdgAutostart(QString applicationId, QString program, QString directory);

    bool isEnabled() const override;
    std::optional<PlatformError> setEnabled(bool enabled) override;

    QString entryPath() const;

private:
    QByteArray entry() const;

    QString applicationId_;
    QString program_;
    QString directory_;
};

}  // namespace sayvo
