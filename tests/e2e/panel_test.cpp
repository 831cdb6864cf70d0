// The tray panel as a new user meets it: a right click on the tray item, an
// API key typed in and saved, a dictation that then runs in the cloud, a new
// hotkey captured, and quitting, all on one running Sayvo.

#include <QDBusConnectionInterface>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>

#include "dictation_fixture.h"
#include "gtk_entry.h"
#include "mock_service.h"

namespace {

const QString kPanelTitle = QStringLiteral("Sayvo panel");

class PanelTest : public ScreenReaderFixture {
protected:
    void TearDown() override {
        for (const char* key : {"d", "space", "Alt_L", "Control_L"}) keys_.release(key);
    }

    bool panelShown() {
        return x_.findViewable(kPanelTitle.toStdString(), app_->pid()).has_value();
    }
    void rightClickTrayItem() {
        clickTrayItem(QStringLiteral("ContextMenu"));
        ASSERT_TRUE(waitUntil([&] { return panelShown(); }, 5000)) << "no panel";
    }
    void click(const QString& buttonName) {
        // The panel's controls reach AT-SPI a moment after it maps.
        std::optional<AccessibleNode> node;
        ASSERT_TRUE(waitUntil(
            [&] {
                return (node = reader_.find(app_->pid(), QStringLiteral("push button"), buttonName))
                    .has_value();
            },
            5000, 200))
            << "no button \"" << buttonName.toStdString() << "\"";
        ASSERT_TRUE(pointerClick(*node));
    }
    void tap(const std::string& key) {
        keys_.press(key);
        keys_.release(key);
    }
    // Holds a combination for up to three seconds; true if a recording started
    // (the indicator shows it).
    bool holdStartsRecording(std::initializer_list<const char*> combination) {
        // The dictation before may still be finishing (its paste, then the hide).
        EXPECT_TRUE(waitUntil([&] { return !indicatorShown(); }, 5000)) << "still shown";
        for (const char* key : combination) keys_.press(key);
        const bool started = waitUntil([&] { return indicatorShown(); }, 3000);
        for (auto key = std::rbegin(combination); key != std::rend(combination); ++key) {
            keys_.release(*key);
        }
        waitUntil([&] { return !indicatorShown(); }, 3000);  // stopped again
        return started;
    }

    // A call on the test bus through GLib's command-line client, as GNOME's
    // tray extension would make it; its output in GVariant text.
    QString gdbusCall(const QString& path, const QStringList& methodAndArguments) {
        QProcess gdbus;
        gdbus.start(QStringLiteral("gdbus"),
                    QStringList{QStringLiteral("call"), QStringLiteral("--address"), bus_.address(),
                                QStringLiteral("--dest"), watcher_.items().constFirst().service,
                                QStringLiteral("--object-path"), path, QStringLiteral("--method")} +
                        methodAndArguments);
        waitUntil([&] { return gdbus.state() == QProcess::NotRunning; }, 5000);
        return QString::fromUtf8(gdbus.readAllStandardOutput() + gdbus.readAllStandardError());
    }

    MockService mock_;
};

TEST_F(PanelTest, AKeySavedInThePanelDictatesInTheCloudAndACapturedHotkeyTakesOver) {
    ASSERT_TRUE(mock_.start({}));
    ASSERT_NO_FATAL_FAILURE(launch(QStringLiteral(SAYVO_CLOUD_BINARY)));
    GtkEntry entry(x_, keys_);
    QString error;
    ASSERT_TRUE(entry.open(&error)) << error.toStdString();

    // The key, typed at the keyboard: Return saves and leaves the field open,
    // the checkmark closes it, Escape then closes the panel.
    ASSERT_NO_FATAL_FAILURE(rightClickTrayItem());
    ASSERT_NO_FATAL_FAILURE(click(QStringLiteral("编辑 API Key")));
    for (const char* key : {"t", "e", "s", "t", "minus", "k", "e", "y", "Return"}) tap(key);
    ASSERT_TRUE(waitUntil([&] { return app_->preferences().contains("\"test-key\""); }, 3000))
        << app_->preferences().toStdString();
    screenshot("panel_key_saved");
    ASSERT_NO_FATAL_FAILURE(click(QStringLiteral("保存 API Key")));
    ASSERT_TRUE(
        reader_.find(app_->pid(), QStringLiteral("label"), QStringLiteral("API Key：••••••st-key")))
        << "the key row is not masked";
    tap("Escape");
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000)) << "Escape left the panel open";

    // The next dictation goes to the service and lands in the entry.
    entry.focus();
    const int before = icon_.count();
    keys_.press("Alt_L");
    keys_.press("space");
    ASSERT_TRUE(waitUntil([&] { return icon_.count() > before; }, 3000)) << "no recording";
    ASSERT_TRUE(speak(kSpeech));
    waitUntil([] { return false; }, 1000);
    keys_.release("space");
    keys_.release("Alt_L");
    ASSERT_TRUE(waitUntil([&] { return !mock_.connections().empty(); }, 3000));
    ASSERT_TRUE(waitUntil([&] { return entry.showsText(); }, 5000))
        << "nothing was pasted; the service saw "
        << QJsonDocument(mock_.connections().front()).toJson().toStdString();
    EXPECT_TRUE(mock_.connections().front()[QStringLiteral("authorization_ok")].toBool());

    // Ctrl+Alt+D, captured in the panel, dictates; Alt+Space no longer does.
    ASSERT_NO_FATAL_FAILURE(rightClickTrayItem());
    ASSERT_NO_FATAL_FAILURE(click(QStringLiteral("更改快捷键")));
    screenshot("panel_capturing");
    for (const char* key : {"Control_L", "Alt_L", "d"}) keys_.press(key);
    for (const char* key : {"d", "Alt_L", "Control_L"}) keys_.release(key);
    ASSERT_TRUE(
        waitUntil([&] { return app_->preferences().contains("\"hotkeyKeyCode\": 2"); }, 3000))
        << app_->preferences().toStdString();
    tap("Escape");
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000));
    entry.focus();
    EXPECT_FALSE(holdStartsRecording({"Alt_L", "space"}));
    EXPECT_TRUE(holdStartsRecording({"Control_L", "Alt_L", "d"}));
    EXPECT_EQ(entry.submit(), "go forward ten meters") << "the hotkey typed into the entry";

    // "退出", pressed by a screen reader, ends Sayvo cleanly; its tray item goes.
    ASSERT_NO_FATAL_FAILURE(rightClickTrayItem());
    ASSERT_TRUE(
        waitUntil([&] { return reader_.press(app_->pid(), QStringLiteral("退出")); }, 5000, 200));
    ASSERT_TRUE(waitUntil([&] { return !app_->running(); }, 5000)) << "still running";
    EXPECT_EQ(app_->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app_->exitCode(), 0);
    EXPECT_FALSE(
        bus_.connection().interface()->isServiceRegistered(watcher_.items().constFirst().service))
        << "the tray item is still on the bus";
}

// GNOME's tray extension shows the item's own menu on a right click: there
// the menu opens the panel and quits.
TEST_F(PanelTest, OnGnomeTheTrayMenuOpensThePanelAndQuits) {
    appEnvironment_.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("ubuntu:GNOME"));
    ASSERT_NO_FATAL_FAILURE(launch(QStringLiteral(SAYVO_BINARY)));
    const QString menu =
        gdbusCall(watcher_.items().constFirst().path,
                  {QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                   QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Menu")});
    const QString path =
        QRegularExpression(QStringLiteral("objectpath '([^']+)'")).match(menu).captured(1);
    ASSERT_FALSE(path.isEmpty() || path == QStringLiteral("/"))
        << "no menu: " << menu.toStdString();
    const QString layout =
        gdbusCall(path, {QStringLiteral("com.canonical.dbusmenu.GetLayout"), QStringLiteral("0"),
                         QStringLiteral("int32 -1"), QStringLiteral("[]")});
    QStringList labels;
    QMap<QString, QString> ids;
    auto entries = QRegularExpression(QStringLiteral("\\((\\d+), \\{[^}]*'label': <'([^']*)'>"))
                       .globalMatch(layout);
    while (entries.hasNext()) {
        const auto entry = entries.next();
        labels << entry.captured(2);
        ids[entry.captured(2)] = entry.captured(1);
    }
    ASSERT_EQ(labels, (QStringList{QStringLiteral("设置…"), QStringLiteral("退出")}))
        << layout.toStdString();

    const auto click = [&](const QString& label) {
        gdbusCall(path, {QStringLiteral("com.canonical.dbusmenu.Event"), ids[label],
                         QStringLiteral("clicked"), QStringLiteral("<0>"), QStringLiteral("0")});
    };
    click(QStringLiteral("设置…"));
    EXPECT_TRUE(waitUntil([&] { return panelShown(); }, 5000)) << "no panel";
    click(QStringLiteral("退出"));
    ASSERT_TRUE(waitUntil([&] { return !app_->running(); }, 5000)) << "still running";
    EXPECT_EQ(app_->exitCode(), 0);
}

}  // namespace
