#include "platform/linux/QtApplicationShell.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QIcon>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <iostream>

#include "platform/linux/QtFloatingIndicatorWindow.h"
#include "platform/linux/SurfaceView.h"
#include "platform/linux/X11DesktopQueries.h"

namespace sayvo {

namespace {

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
    void showMessage(const std::string& title, const std::string& message) override {
        std::cerr << "sayvo: " << message << std::endl;
        icon_.showMessage(QString::fromStdString(title), QString::fromStdString(message),
                          QSystemTrayIcon::Warning);
    }
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

QtApplicationShell::QtApplicationShell() = default;
QtApplicationShell::~QtApplicationShell() = default;

std::unique_ptr<TrayItem> QtApplicationShell::makeTrayItem() {
    auto item = std::make_unique<QtTrayItem>();
    // Loading the indicator's QML takes a quarter of a second: do it once the
    // tray item is up, so neither the tray nor the first dictation waits for it.
    QTimer::singleShot(0, &preloadContext_, [this] {
        if (!preloadedIndicator_ && !indicatorMade_) {
            preloadedIndicator_ = std::make_unique<QtFloatingIndicatorWindow>();
        }
    });
    return item;
}

std::unique_ptr<Popover> QtApplicationShell::makePopover() {
    return std::make_unique<QtPopover>();
}

std::unique_ptr<FloatingWindow> QtApplicationShell::makeFloatingWindow() {
    indicatorMade_ = true;
    if (preloadedIndicator_) return std::move(preloadedIndicator_);
    return std::make_unique<QtFloatingIndicatorWindow>();
}

Rect QtApplicationShell::visibleScreenFrame() const {
    QScreen* screen = nullptr;
    if (const auto focused = focusedWindowCenter()) screen = QGuiApplication::screenAt(*focused);
    if (!screen) screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    // A window manager that is still starting may not have said yet what its
    // panels cover: the whole screen is then the best guess.
    QRect area = screen->availableGeometry();
    if (area.isEmpty()) area = screen->geometry();
    return {double(area.x()), double(area.y()), double(area.width()), double(area.height())};
}

void QtApplicationShell::quit() {
    QCoreApplication::quit();
}

}  // namespace sayvo
