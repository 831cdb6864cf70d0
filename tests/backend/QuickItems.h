#pragma once

#include <QtQuickTest/quicktest.h>

#include <QQuickItem>
#include <QQuickView>
#include <QTest>

#include "Spin.h"

// The item called `name`; Repeater and Loader children are not QObject children, so walk items.
inline QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (!item || item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findItem(child, name)) return found;
    }
    return nullptr;
}

inline QPoint centreOf(QQuickItem* item) {
    return item->mapToScene({item->width() / 2, item->height() / 2}).toPoint();
}

inline QImage grab(QQuickView& view) {
    return view.grabWindow().convertToFormat(QImage::Format_ARGB32);
}

// Model updates land one turn later, positioners lay out at the next polish.
inline void settle(QQuickView& view) {
    QCoreApplication::processEvents();
    ASSERT_TRUE(QQuickTest::qWaitForPolish(&view));
}

inline void click(QQuickView& view, QQuickItem* item) {
    ASSERT_TRUE(item && item->isVisible());
    QTest::mouseClick(&view, Qt::LeftButton, {}, centreOf(item));
    settle(view);
}
