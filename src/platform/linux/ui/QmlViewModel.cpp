#include "platform/linux/ui/QmlViewModel.h"

#include <QMetaObject>

#include "ui/Color.h"

namespace sayvo {

QColor QmlViewModel::accentColor() const {
    return QColor(qs(sayvo::accentColor.argbHex()));
}

void CoalescedUpdate::request() {
    if (pending_) return;
    pending_ = true;
    QMetaObject::invokeMethod(
        context_, [this] { runNow(); }, Qt::QueuedConnection);
}

void CoalescedUpdate::runNow() {
    pending_ = false;
    update_();
}

}  // namespace sayvo
