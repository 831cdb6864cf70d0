#pragma once

#include <QQuickImageProvider>

namespace sayvo {

// "image://icons/<name>/<rrggbb>" or ".../<aarrggbb>" (a translucent colour):
// the application's white symbol ":/icons/<name>.svg" drawn in that colour, so
// one set of symbols serves a light and a dark panel.
// Thread: any (Qt calls it from the scene graph).
class TintedIconProvider final : public QQuickImageProvider {
public:
    TintedIconProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace sayvo
