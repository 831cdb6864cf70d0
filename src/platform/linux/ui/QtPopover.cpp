#include "platform/linux/ui/QtPopover.h"

#include <QCursor>
#include <QMouseEvent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>

#include "platform/linux/ui/ScreenArea.h"
#include "platform/linux/ui/TintedIconProvider.h"

namespace sayvo {

namespace {
constexpr int kGap = 4;
}

QRect panelFrame(QSize size, QRect trayItem, QPoint pointer, QRect area) {
    const QRect anchor = trayItem.isEmpty() ? QRect(pointer, QSize(1, 1)) : trayItem;
    QRect frame(QPoint(), size);
    const bool below = area.bottom() - anchor.bottom() >= anchor.top() - area.top();
    frame.moveTop(below ? anchor.bottom() + kGap : anchor.top() - kGap - size.height());
    if (!trayItem.isEmpty()) {
        frame.moveLeft(anchor.center().x() - size.width() / 2);
    } else {
        const bool right = area.right() - pointer.x() >= pointer.x() - area.left();
        frame.moveLeft(right ? pointer.x() : pointer.x() - size.width());
    }
    // Whole inside the area; a panel larger than the area keeps its top left.
    frame.moveLeft(qMax(area.left(), qMin(frame.left(), area.right() + 1 - size.width())));
    frame.moveTop(qMax(area.top(), qMin(frame.top(), area.bottom() + 1 - size.height())));
    return frame;
}

QtPopover::QtPopover(QPointer<QSystemTrayIcon> trayIcon) : trayIcon_(std::move(trayIcon)) {
    view_.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    view_.setTitle(QStringLiteral("Sayvo panel"));
    view_.setResizeMode(QQuickView::SizeViewToRootObject);
    view_.engine()->addImageProvider(QStringLiteral("icons"), new TintedIconProvider);
    view_.rootContext()->setContextProperty(QStringLiteral("panel"), &model_);
    view_.rootContext()->setContextProperty(QStringLiteral("surface"), this);
    QObject::connect(&view_, &QWindow::activeChanged, this, &QtPopover::focusChanged);
    view_.installEventFilter(this);
    // Opening above the pointer, a panel that grows keeps its lower edge there.
    QObject::connect(&view_, &QWindow::heightChanged, this, [this] {
        if (view_.isVisible()) place();
    });
}

QtPopover::~QtPopover() = default;

void QtPopover::preload() {
    if (!view_.source().isEmpty()) return;
    view_.setSource(QUrl(QStringLiteral("qrc:/qml/MenuBarView.qml")));
    if (QQuickItem* root = view_.rootObject(); root && width_ > 0) root->setWidth(width_);
}

void QtPopover::setContentSize(double width, double) {
    // Only the width: the height follows the content.
    width_ = qRound(width);
    if (QQuickItem* root = view_.rootObject()) root->setWidth(width_);
}

void QtPopover::setContent(std::shared_ptr<MenuBarView> view) {
    model_.setView(std::move(view));
}

void QtPopover::showRelativeToTrayItem() {
    if (closedOnFocusLoss_.isValid() && closedOnFocusLoss_.elapsed() < reopenGuardMs) return;
    preload();
    pointer_ = QCursor::pos();
    model_.setShown(true);
    place();
    view_.show();
    view_.raise();
    view_.requestActivate();
    // A click elsewhere must close the panel even where it moves no focus
    // (the desktop's background, or no window manager at all): the panel
    // holds the pointer while open, as menus do.
    view_.setMouseGrabEnabled(true);
    // Without a window manager the focus can stay with the hidden panel, and
    // then no change announces its return.
    wasActive_ = view_.isActive();
    // A fresh opening starts with nothing focused, so Escape closes it.
    if (QQuickItem* root = view_.rootObject()) root->forceActiveFocus();
}

void QtPopover::place() {
    const QRect tray = trayIcon_ ? trayIcon_->geometry() : QRect();
    const QPoint anchor = tray.isEmpty() ? pointer_ : tray.center();
    if (const auto area = screenAreaAt({anchor})) {
        view_.setPosition(panelFrame(view_.size(), tray, pointer_, *area).topLeft());
    }
}

void QtPopover::focusChanged() {
    if (view_.isActive()) {
        wasActive_ = true;
    } else if (wasActive_ && view_.isVisible()) {
        closedOnFocusLoss_.start();
        close();
    }
}

bool QtPopover::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &view_ && event->type() == QEvent::MouseButtonPress) {
        const QPointF at = static_cast<QMouseEvent*>(event)->position();
        if (!QRectF(QPointF(), view_.size()).contains(at)) {
            close();
            return true;
        }
    }
    return false;
}

void QtPopover::close() {
    if (!view_.isVisible()) return;
    view_.setMouseGrabEnabled(false);
    wasActive_ = false;
    view_.hide();
    model_.setShown(false);
    if (onClose) onClose();
}

bool QtPopover::isShown() const {
    return view_.isVisible();
}

}  // namespace sayvo
