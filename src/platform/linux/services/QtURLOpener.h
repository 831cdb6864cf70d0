#pragma once

#include <QDesktopServices>
#include <QUrl>

#include "platform/URLOpener.h"

namespace sayvo {

// The desktop's default handler for each address (xdg-open underneath).
// Thread: GUI thread only.
class QtURLOpener final : public URLOpener {
public:
    bool open(const std::string& url) override {
        const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
        return address.isValid() && QDesktopServices::openUrl(address);
    }
};

}  // namespace sayvo
