// Launches the real binary against a private D-Bus with a stand-in tray
// watcher, clicks the tray item over D-Bus and watches what appears on X.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app_process.h"
#include "e2e_support.h"
#include "private_bus.h"
#include "tray_watcher.h"
#include "x_windows.h"

namespace {

const std::string kIndicatorTitle = "Sayvo indicator";
const std::string kPanelTitle = "Sayvo panel";
constexpr int kRegistrationTimeoutMs = 15000;
constexpr int kWindowTimeoutMs = 5000;
constexpr int kLaunchSettleMs = 1000;
constexpr int kQuitTimeoutMs = 5000;

std::string describe(const std::vector<XWindowInfo>& windows) {
    std::string out;
    for (const auto& w : windows)
        out +=
            " [0x" + QString::number(qulonglong(w.id), 16).toStdString() + " \"" + w.name + "\"]";
    return out;
}

class SmokeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x_.connected()) << "cannot open X display; is DISPLAY set?";
        QString error;
        ASSERT_TRUE(bus_.start(&error)) << error.toStdString();
        watcher_ = std::make_unique<TrayWatcher>();
        // Before launch: Qt decides once, at tray creation, whether a D-Bus tray exists.
        ASSERT_TRUE(watcher_->publish(bus_.connection(), &error)) << error.toStdString();
    }

    void TearDown() override {
        app_process_.reset();  // before the bus goes away
        watcher_.reset();
    }

    // Calls a tray item method and waits for its reply.
    void clickItem(const TrayItemAddress& item, const QString& method) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            item.service, item.path, QStringLiteral("org.kde.StatusNotifierItem"), method);
        call << 640 << 12;  // a plausible top-bar position
        QDBusPendingCall reply = bus_.connection().asyncCall(call, kWindowTimeoutMs);
        ASSERT_TRUE(waitUntil([&] { return reply.isFinished(); }, kWindowTimeoutMs + 1000))
            << method.toStdString() << " got no reply";
        ASSERT_FALSE(reply.isError())
            << method.toStdString() << ": " << reply.error().message().toStdString();
    }

    std::optional<XWindowInfo> waitForWindow(const std::string& title) {
        std::optional<XWindowInfo> found;
        waitUntil([&] { return (found = x_.findViewable(title, pid_)).has_value(); },
                  kWindowTimeoutMs);
        return found;
    }

    XWindows x_;
    PrivateBus bus_;
    std::unique_ptr<TrayWatcher> watcher_;
    std::unique_ptr<AppProcess> app_process_;
    long pid_ = -1;
};

TEST_F(SmokeTest, TrayClicksShowIndicatorAndPanelAndSigtermQuitsCleanly) {
    // Launch: registers a tray item, maps nothing.
    QElapsedTimer sinceLaunch;
    sinceLaunch.start();
    app_process_ = std::make_unique<AppProcess>(QStringLiteral(SAYVO_BINARY));
    QString error;
    ASSERT_TRUE(app_process_->start(bus_.address(), &error)) << error.toStdString();
    pid_ = static_cast<long>(app_process_->pid());

    waitUntil([&] { return !watcher_->items().isEmpty() || !app_process_->running(); },
              kRegistrationTimeoutMs);
    ASSERT_TRUE(app_process_->running())
        << "exited during startup, code " << app_process_->exitCode();
    ASSERT_FALSE(watcher_->items().isEmpty())
        << "no tray item registered within " << kRegistrationTimeoutMs << " ms";
    measure("launch_to_tray_registered", sinceLaunch.elapsed(), "ms");
    measure("rss_after_tray_registered", app_process_->residentKb(), "kB");
    const TrayItemAddress item = watcher_->items().constFirst();
    std::printf("tray item: %s at %s\n", qPrintable(item.service), qPrintable(item.path));
    std::fflush(stdout);

    // A window mapped shortly after registration still counts as mapped at launch.
    std::vector<XWindowInfo> early;
    waitUntil([&] { return !(early = x_.viewableOf(pid_)).empty(); }, kLaunchSettleMs);
    EXPECT_TRUE(early.empty()) << "windows mapped at launch:" << describe(early);
    for (const auto& w : x_.all()) {
        EXPECT_FALSE(w.viewable && (w.name == kIndicatorTitle || w.name == kPanelTitle))
            << "\"" << w.name << "\" mapped at launch (pid " << w.pid << ")";
    }

    // Left click: a recording starts (the icon changes), the indicator appears
    // and never takes the focus.
    IconChangeCounter iconChanges;
    ASSERT_TRUE(iconChanges.watch(bus_.connection(), item));
    QElapsedTimer sinceClick;
    sinceClick.start();
    ASSERT_NO_FATAL_FAILURE(clickItem(item, QStringLiteral("Activate")));
    EXPECT_TRUE(waitUntil([&] { return iconChanges.count() > 0; }, kWindowTimeoutMs))
        << "the tray icon did not change: no recording started";
    const auto indicator = waitForWindow(kIndicatorTitle);
    ASSERT_TRUE(indicator) << "no viewable \"" << kIndicatorTitle << "\" window of pid " << pid_
                           << "; its windows:" << describe(x_.viewableOf(pid_));
    measure("activate_to_indicator_mapped", sinceClick.elapsed(), "ms");
    screenshot("indicator");
    EXPECT_EQ(x_.acceptsInputHint(indicator->id), std::optional<bool>(false))
        << "indicator must set WM_HINTS input=False";
    EXPECT_EQ(x_.wantsDecorations(indicator->id), std::optional<bool>(false))
        << "indicator must ask for no decorations";
    EXPECT_FALSE(x_.hasFocus(indicator->id)) << "indicator holds the input focus";

    // Right click: the panel appears.
    sinceClick.restart();
    ASSERT_NO_FATAL_FAILURE(clickItem(item, QStringLiteral("ContextMenu")));
    const auto panel = waitForWindow(kPanelTitle);
    EXPECT_TRUE(panel) << "no viewable \"" << kPanelTitle << "\" window of pid " << pid_
                       << "; its windows:" << describe(x_.viewableOf(pid_));
    if (panel) {
        measure("context_menu_to_panel_mapped", sinceClick.elapsed(), "ms");
        screenshot("panel");
    }
    ASSERT_TRUE(app_process_->running())
        << "exited after the clicks, code " << app_process_->exitCode();

    // SIGTERM: a clean exit with status 0.
    QElapsedTimer sinceTerm;
    sinceTerm.start();
    ASSERT_TRUE(app_process_->terminate(kQuitTimeoutMs)) << "still running after SIGTERM";
    measure("sigterm_to_exit", sinceTerm.elapsed(), "ms");
    EXPECT_EQ(app_process_->exitStatus(), QProcess::NormalExit) << "died from a signal";
    EXPECT_EQ(app_process_->exitCode(), 0);
}

}  // namespace
