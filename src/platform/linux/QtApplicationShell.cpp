#include "platform/linux/QtApplicationShell.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QIcon>
#include <QScreen>
#include <QSystemTrayIcon>

#include "platform/linux/SurfaceView.h"

namespace sayvo {

namespace {

QRect toQRect(const Rect& r) {
    return QRect(qRound(r.x), qRound(r.y), qRound(r.width), qRound(r.height));
}

class QtTrayItem final : public TrayItem {
public:
    QtTrayItem() {
        icon_.setIcon(QIcon(QStringLiteral(":/icons/mic.fill.svg")));
        icon_.setToolTip(QStringLiteral("Sayvo"));
        QObject::connect(&icon_, &QSystemTrayIcon::activated,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (!onClick) return;
                             if (reason == QSystemTrayIcon::Trigger) onClick(TrayClick::left);
                             if (reason == QSystemTrayIcon::Context) onClick(TrayClick::right);
                         });
        // Shown even without a tray today: Qt registers it when one appears.
        icon_.show();
    }
    bool hasButton() const override { return true; }
    void setImage(const std::string& symbolName, const std::string& description) override {
        // Every change goes out to the tray host; an unchanged image need not.
        if (symbolName == currentSymbol_ && description == currentDescription_) return;
        const QString path =
            QStringLiteral(":/icons/%1.svg").arg(QString::fromStdString(symbolName));
        if (!QFile::exists(path)) return;
        icon_.setIcon(QIcon(path));
        icon_.setToolTip(QString::fromStdString(description));
        currentSymbol_ = symbolName;
        currentDescription_ = description;
    }

private:
    QSystemTrayIcon icon_;
    std::string currentSymbol_ = "mic.fill";
    std::string currentDescription_ = "Sayvo";
};

class QtFloatingWindow final : public FloatingWindow {
public:
    explicit QtFloatingWindow(SurfaceContent content)
        : surface_(std::make_unique<SurfaceView>(content,
                                                 Qt::Tool | Qt::FramelessWindowHint |
                                                     Qt::WindowStaysOnTopHint |
                                                     Qt::WindowDoesNotAcceptFocus,
                                                 QStringLiteral("Sayvo indicator"))) {
        surface_->bridge().onClose = [this] {
            if (onCloseRequested) onCloseRequested();
        };
    }
    void setFrame(const Rect& frame) override { surface_->view().setGeometry(toQRect(frame)); }
    Rect frame() const override {
        const QRect g = surface_->view().geometry();
        return {double(g.x()), double(g.y()), double(g.width()), double(g.height())};
    }
    void show() override { surface_->view().show(); }
    void hide() override { surface_->view().hide(); }
    bool isVisible() const override { return surface_->view().isVisible(); }
    void reloadContent() override { surface_->reload(); }

private:
    std::unique_ptr<SurfaceView> surface_;
};

class QtPopover final : public Popover {
public:
    QtPopover()
        : surface_(std::make_unique<SurfaceView>(
              SurfaceContent::menuPanel,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint,
              QStringLiteral("Sayvo panel"))) {
        // Transient: the panel goes away once the user has moved on elsewhere.
        QObject::connect(&surface_->view(), &QWindow::activeChanged, [this] {
            if (surface_->view().isActive()) {
                wasActive_ = true;
            } else if (wasActive_) {
                close();
            }
        });
        surface_->bridge().onClose = [this] { close(); };
    }
    void setContentSize(double width, double height) override {
        surface_->view().resize(qRound(width), qRound(height));
    }
    void setContent(SurfaceContent content) override { surface_->setContent(content); }
    void showRelativeToTrayItem() override {
        QQuickView& view = surface_->view();
        const QPoint anchor = QCursor::pos();
        QScreen* screen = QGuiApplication::screenAt(anchor);
        if (!screen) screen = QGuiApplication::primaryScreen();
        QRect frame(QPoint(anchor.x() - view.width() / 2, anchor.y() + 8), view.size());
        if (screen) {
            const QRect area = screen->availableGeometry();
            if (frame.bottom() > area.bottom()) frame.moveBottom(anchor.y() - 8);
            frame.moveLeft(qBound(area.left(), frame.left(), area.right() - frame.width()));
            frame.moveTop(qBound(area.top(), frame.top(), area.bottom() - frame.height()));
        }
        view.setPosition(frame.topLeft());
        wasActive_ = false;
        view.show();
        view.raise();
        view.requestActivate();
    }
    void close() override {
        wasActive_ = false;
        surface_->view().hide();
    }
    bool isShown() const override { return surface_->view().isVisible(); }

private:
    std::unique_ptr<SurfaceView> surface_;
    bool wasActive_ = false;
};

}  // namespace

void QtApplicationShell::setAccessoryActivationPolicy() {
    // No main window exists, so closing a panel must not end the process.
    QApplication::setQuitOnLastWindowClosed(false);
}

std::unique_ptr<TrayItem> QtApplicationShell::makeTrayItem() {
    return std::make_unique<QtTrayItem>();
}

std::unique_ptr<Popover> QtApplicationShell::makePopover() {
    return std::make_unique<QtPopover>();
}

std::unique_ptr<FloatingWindow> QtApplicationShell::makeFloatingWindow(SurfaceContent content) {
    return std::make_unique<QtFloatingWindow>(content);
}

Rect QtApplicationShell::visibleScreenFrame() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QRect area = screen->availableGeometry();
    return {double(area.x()), double(area.y()), double(area.width()), double(area.height())};
}

void QtApplicationShell::quit() {
    QCoreApplication::quit();
}

}  // namespace sayvo
