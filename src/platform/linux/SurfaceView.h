#pragma once

#include <QObject>
#include <QQuickView>
#include <functional>

#include "platform/ApplicationShell.h"

namespace sayvo {

// What the QML of a surface can call back into. Exposed as "surface".
class SurfaceBridge : public QObject {
    Q_OBJECT
public:
    std::function<void()> onClose;
    Q_INVOKABLE void requestClose() {
        if (onClose) onClose();
    }
};

// A QQuickView showing one kind of surface; reloading builds the QML afresh.
// Thread: GUI thread only.
class SurfaceView {
public:
    SurfaceView(SurfaceContent content, Qt::WindowFlags flags, const QString& title);
    void reload();
    QQuickView& view() { return view_; }
    SurfaceBridge& bridge() { return bridge_; }
    SurfaceContent content() const { return content_; }
    void setContent(SurfaceContent content);

private:
    SurfaceContent content_;
    SurfaceBridge bridge_;
    QQuickView view_;
};

}  // namespace sayvo
