#include "platform/linux/ui/QtFloatingIndicatorWindow.h"

#include <QPainterPath>
#include <QQmlContext>
#include <QQuickItem>
#include <QRegion>

#include "platform/linux/x11/X11DesktopQueries.h"
#include "ui/FloatingIndicatorWindow.h"

namespace sayvo {

QtFloatingIndicatorWindow::QtFloatingIndicatorWindow() {
    view_.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowDoesNotAcceptFocus);
    view_.setTitle(QStringLiteral("Sayvo indicator"));
    view_.setColor(Qt::transparent);
    view_.setResizeMode(QQuickView::SizeRootObjectToView);
    view_.rootContext()->setContextProperty(QStringLiteral("indicator"), &model_);
    view_.rootContext()->setContextProperty(QStringLiteral("surface"), this);
    view_.setSource(QUrl(QStringLiteral("qrc:/qml/FloatingIndicatorView.qml")));
    if (QQuickItem* root = view_.rootObject()) {
        view_.resize(int(FloatingIndicatorWindow::width) + 2 * margin(),
                     int(root->implicitHeight()));
        QObject::connect(root, &QQuickItem::implicitHeightChanged, this,
                         &QtFloatingIndicatorWindow::followContentHeight);
    }
    // The platform window exists before the first show, so showing only maps it.
    view_.create();
    QObject::connect(&view_, &QWindow::visibleChanged, this,
                     [this](bool visible) { model_.setShown(visible); });
}

QtFloatingIndicatorWindow::~QtFloatingIndicatorWindow() = default;

int QtFloatingIndicatorWindow::margin() const {
    const QQuickItem* root = view_.rootObject();
    return root ? root->property("shadowMargin").toInt() : 0;
}

int QtFloatingIndicatorWindow::panelHeight() const {
    const QQuickItem* root = view_.rootObject();
    return root ? int(root->implicitHeight()) - 2 * margin() : view_.height();
}

void QtFloatingIndicatorWindow::setFrame(const Rect& frame) {
    const int m = margin();
    const int height = view_.rootObject() ? panelHeight() : qRound(frame.height);
    view_.setGeometry(qRound(frame.x) - m, qRound(frame.y) - m, qRound(frame.width) + 2 * m,
                      height + 2 * m);
}

Rect QtFloatingIndicatorWindow::frame() const {
    const int m = margin();
    const QRect g = view_.geometry();
    return {double(g.x() + m), double(g.y() + m), double(g.width() - 2 * m),
            double(g.height() - 2 * m)};
}

void QtFloatingIndicatorWindow::followContentHeight() {
    const QQuickItem* root = view_.rootObject();
    if (!root) return;
    // Grow and shrink upwards: the panel's lower edge stays where it was put.
    const QRect g = view_.geometry();
    const int height = int(root->implicitHeight());
    if (height == g.height()) return;
    view_.setGeometry(g.x(), g.y() + g.height() - height, g.width(), height);
    updateMask();
}

void QtFloatingIndicatorWindow::updateMask() {
    // Without a compositor the transparent shadow margin would show as black:
    // clip the window to the rounded panel instead (and go without a shadow).
    if (compositingManagerRunning()) {
        view_.setMask(QRegion());
        return;
    }
    const QQuickItem* root = view_.rootObject();
    const double radius = root ? root->property("cornerRadius").toDouble() : 0;
    const int m = margin();
    QPainterPath path;
    path.addRoundedRect(QRectF(m, m, view_.width() - 2 * m, view_.height() - 2 * m), radius,
                        radius);
    view_.setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void QtFloatingIndicatorWindow::show() {
    updateMask();
    view_.show();
    view_.raise();
    // Starting the microphone comes next and may block for a while.
    sendPendingRequests();
}

void QtFloatingIndicatorWindow::hide() {
    view_.hide();
}

bool QtFloatingIndicatorWindow::isVisible() const {
    return view_.isVisible();
}

void QtFloatingIndicatorWindow::setContent(std::shared_ptr<FloatingIndicatorView> view) {
    model_.setView(std::move(view));
}

bool QtFloatingIndicatorWindow::startSystemMove() {
    return view_.startSystemMove();
}

void QtFloatingIndicatorWindow::moveBy(int dx, int dy) {
    view_.setPosition(view_.position() + QPoint(dx, dy));
}

}  // namespace sayvo
