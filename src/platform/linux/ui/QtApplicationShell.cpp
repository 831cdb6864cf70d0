#include "platform/linux/ui/QtApplicationShell.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include "platform/linux/StderrLine.h"
#include "platform/linux/ui/DesktopNotifications.h"
#include "platform/linux/ui/QtFloatingIndicatorWindow.h"
#include "platform/linux/ui/QtPopover.h"
#include "platform/linux/ui/ScreenArea.h"
#include "platform/linux/x11/X11DesktopQueries.h"

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
        // GNOME's tray extension ignores a right click on an item without a
        // menu; elsewhere a menu would take the right click from the panel.
        if (QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP"))
                .split(QLatin1Char(':'))
                .contains(QStringLiteral("GNOME"), Qt::CaseInsensitive)) {
            QObject::connect(
                menu_.addAction(QCoreApplication::translate("QtApplicationShell", "设置…")),
                &QAction::triggered, [this] {
                    if (onClick) onClick(TrayClick::right);
                });
            QObject::connect(
                menu_.addAction(QCoreApplication::translate("QtApplicationShell", "退出")),
                &QAction::triggered, [] { QCoreApplication::quit(); });
            icon_.setContextMenu(&menu_);
        }
        // Shown even without a tray today: Qt registers it when one appears.
        icon_.show();
    }
    QSystemTrayIcon* icon() { return &icon_; }
    bool hasButton() const override { return true; }
    bool isInTray() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    void showMessage(const std::string& title, const std::string& message,
                     NoticeKind kind) override {
        printToStderr(message);
        const bool warning = kind == NoticeKind::warning;
        const QString heading = QString::fromStdString(title),
                      body = QString::fromStdString(message);
        // Qt sends its own balloon there only from a StatusNotifier item:
        // with an XEmbed tray, or none, the notice would reach nobody.
        if (DesktopNotifications::available() &&
            DesktopNotifications::notify(heading, body, warning))
            return;
        icon_.showMessage(heading, body,
                          warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
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
    QMenu menu_;  // outlives the icon that shows it
    QSystemTrayIcon icon_;
    std::string currentSymbol_ = "mic.fill";
    std::string currentDescription_ = "Sayvo";
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
    trayIcon_ = item->icon();
    // Loading the indicator's QML takes a quarter of a second: do it once the
    // tray item is up, so neither the tray nor the first dictation waits for it.
    QTimer::singleShot(0, &preloadContext_, [this] {
        if (!preloadedIndicator_ && !indicatorMade_) {
            preloadedIndicator_ = std::make_unique<QtFloatingIndicatorWindow>();
        }
        // The panel's turn comes after whatever the indicator held up.
        QTimer::singleShot(0, &preloadContext_, [this] {
            if (panel_) panel_->preload();
        });
    });
    return item;
}

std::unique_ptr<Popover> QtApplicationShell::makePopover() {
    auto panel = std::make_unique<QtPopover>(trayIcon_);
    panel_ = panel.get();
    return panel;
}

std::unique_ptr<FloatingWindow> QtApplicationShell::makeFloatingWindow() {
    indicatorMade_ = true;
    if (preloadedIndicator_) return std::move(preloadedIndicator_);
    return std::make_unique<QtFloatingIndicatorWindow>();
}

Rect QtApplicationShell::visibleScreenFrame() const {
    const auto area = screenAreaAt({focusedWindowCenter(), QCursor::pos()});
    if (!area) return {};
    return {double(area->x()), double(area->y()), double(area->width()), double(area->height())};
}

void QtApplicationShell::quit() {
    QCoreApplication::quit();
}

}  // namespace sayvo
