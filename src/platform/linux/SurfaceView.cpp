#include "platform/linux/SurfaceView.h"

#include <QQmlContext>
#include <QQmlEngine>

namespace sayvo {

namespace {
QUrl sourceFor(SurfaceContent content) {
    switch (content) {
        case SurfaceContent::menuPanel:
            return QUrl(QStringLiteral("qrc:/qml/MenuPanel.qml"));
    }
    return {};
}
}  // namespace

SurfaceView::SurfaceView(SurfaceContent content, Qt::WindowFlags flags, const QString& title)
    : content_(content) {
    view_.setFlags(flags);
    view_.setTitle(title);
    view_.setColor(Qt::transparent);
    view_.setResizeMode(QQuickView::SizeRootObjectToView);
    view_.rootContext()->setContextProperty(QStringLiteral("surface"), &bridge_);
    reload();
}

void SurfaceView::setContent(SurfaceContent content) {
    content_ = content;
    reload();
}

void SurfaceView::reload() {
    // Clearing the source first discards every piece of view-local state.
    view_.setSource(QUrl());
    view_.engine()->clearComponentCache();
    view_.setSource(sourceFor(content_));
}

}  // namespace sayvo
