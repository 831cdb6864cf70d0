#pragma once

#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <memory>

#include "core/Observable.h"
#include "platform/linux/ui/QmlViewModel.h"
#include "ui/FloatingIndicatorView.h"

namespace sayvo {

// The indicator's view state as QML properties ("indicator" in the QML).
// Changes of the logic are coalesced: one notification per main-loop turn,
// however many stores happened, so the level never redraws more than the
// scene graph renders. Thread: GUI thread only.
class FloatingIndicatorViewModel : public QmlViewModel {
    Q_OBJECT
    Q_PROPERTY(QString content READ content NOTIFY textChanged)
    Q_PROPERTY(QString transcript READ transcript NOTIFY textChanged)
    Q_PROPERTY(QString errorText READ errorText NOTIFY textChanged)
    Q_PROPERTY(QString dots READ dots NOTIFY textChanged)
    Q_PROPERTY(bool showCopied READ showCopied NOTIFY textChanged)
    Q_PROPERTY(bool showInserted READ showInserted NOTIFY textChanged)
    Q_PROPERTY(QVariantList bars READ bars NOTIFY barsChanged)
    Q_PROPERTY(bool barsIdle READ barsIdle NOTIFY barsIdleChanged)
    Q_PROPERTY(QVariantMap meter READ meter CONSTANT)
    Q_PROPERTY(bool shown READ shown NOTIFY shownChanged)
    Q_PROPERTY(QString title READ title NOTIFY textChanged)
    Q_PROPERTY(QString hint READ hint NOTIFY textChanged)
    Q_PROPERTY(QString waitingText READ waitingText CONSTANT)
    Q_PROPERTY(QString placeholderText READ placeholderText CONSTANT)

public:
    void setView(std::shared_ptr<FloatingIndicatorView> view);
    FloatingIndicatorView* view() const { return view_.get(); }
    void setShown(bool shown);

    QString content() const { return content_; }
    QString transcript() const { return transcript_; }
    QString errorText() const { return errorText_; }
    QString dots() const { return dots_; }
    bool showCopied() const { return showCopied_; }
    bool showInserted() const { return showInserted_; }
    QVariantList bars() const { return bars_; }
    bool barsIdle() const { return barsIdle_; }
    // The level meter's drawing: barCount, barWidth, barSpacing, barRadius,
    // barFullHeight (what a height of 1 is), levelAnimationMs, idleAnimationMs.
    QVariantMap meter() const;
    bool shown() const { return shown_; }
    QString title() const;
    QString hint() const;
    QString waitingText() const;
    QString placeholderText() const;

    Q_INVOKABLE void copy();
    Q_INVOKABLE void insert();
    Q_INVOKABLE void close();

signals:
    void textChanged();
    // Before barsChanged, so the transition is chosen before the heights move.
    void barsIdleChanged();
    void barsChanged();
    void shownChanged();

private:
    void updateText();
    void updateBars();

    std::shared_ptr<FloatingIndicatorView> view_;
    Subscription viewObserver_;
    Subscription recognizerObserver_;
    Subscription barsObserver_;
    CoalescedUpdate textUpdate_{this, [this] { updateText(); }};
    CoalescedUpdate barsUpdate_{this, [this] { updateBars(); }};

    QString content_ = QStringLiteral("placeholder");
    QString transcript_;
    QString errorText_;
    QString dots_;
    bool showCopied_ = false;
    bool showInserted_ = false;
    QVariantList bars_;
    bool barsIdle_ = false;
    bool shown_ = false;
};

}  // namespace sayvo
