#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "platform/Translations.h"

namespace sayvo {

// What the QML adapters over the logic's views share: the accent colour and
// the logic's UTF-8 text as QStrings. Thread: GUI thread only.
class QmlViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QColor accentColor READ accentColor CONSTANT)

public:
    QColor accentColor() const;

protected:
    static QString qs(const std::string& text) { return QString::fromStdString(text); }
    // A fixed text of the logic's, read when the window loads (before a view
    // may be set): from the catalogue the logic reads too.
    static QString translated(const Text& text) {
        return QCoreApplication::translate(text.context, text.source);
    }
};

// Stores announce themselves before they happen, so a change is read a
// main-loop turn later; however many come meanwhile, `update` runs once.
// Thread: GUI thread only.
class CoalescedUpdate {
public:
    // `context` owns this; a turn that comes after it is gone runs nothing.
    CoalescedUpdate(QObject* context, std::function<void()> update)
        : context_(context), update_(std::move(update)) {}

    void request();
    // Now rather than a turn later, e.g. for a fresh view.
    void runNow();

private:
    QObject* context_;
    std::function<void()> update_;
    bool pending_ = false;
};

}  // namespace sayvo
