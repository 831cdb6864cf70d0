#include <gtest/gtest.h>

#include "SimPlatform.h"
#include "ui/MenuBarView.h"

namespace sayvo {
namespace {

class MenuBarViewTest : public ::testing::Test {
protected:
    std::shared_ptr<MenuBarView> open() {
        auto view = MenuBarView::create(sim.platform(), recognizer, *hotkeys);
        view->appear();
        return view;
    }
    bool typeInPanel(const KeyEvent& event) { return sim.keyboard.typeInOwnWindow(event); }

    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> recognizer = SpeechRecognizer::create(sim.platform(), cloud);
    std::shared_ptr<HotkeyManager> hotkeys =
        HotkeyManager::create(sim.preferences, sim.keyboard, sim.scheduler);
    std::shared_ptr<MenuBarView> panel = open();
};

TEST_F(MenuBarViewTest, AMaskedAPIKeyShowsTheLastSixCharactersNeverCuttingOne) {
    const struct {
        std::string key, shown;
    } cases[] = {{"abcd", "••••••abcd"},
                 {"sk-1234567890", "••••••567890"},
                 {"密钥：你好世界朋友", "••••••你好世界朋友"},
                 {"k🔑🔑🔑🔑🔑🔑", "••••••🔑🔑🔑🔑🔑🔑"}};
    for (const auto& c : cases) EXPECT_EQ(maskedAPIKey(c.key), c.shown) << c.key;
}

TEST_F(MenuBarViewTest, TheHotkeyRowOffersToAddTheDesktopsBindingThenSaysWhoseItIs) {
    sim.keyboard.bindingDesktopName = "GNOME";
    EXPECT_EQ(panel->hotkeyButtonText(), "添加到 GNOME 快捷键");
    hotkeys->desktopTrigger = "Ctrl+Alt+Space";
    EXPECT_EQ(panel->hotkeyButtonText(), "Ctrl+Alt+Space · GNOME");
}

TEST_F(MenuBarViewTest, BadgeFollowsTheStoredKeyAndTheHintTheField) {
    EXPECT_EQ(panel->engineBadge(), "系统");
    EXPECT_EQ(panel->keyRowText(), "未设置（使用系统识别）");
    EXPECT_TRUE(panel->showsConsoleLink());

    panel->toggleAPIKeyEditing(), panel->apiKeyInput = "k";
    EXPECT_FALSE(panel->showsConsoleLink()) << "the hint follows typing at once";
    EXPECT_EQ(panel->engineBadge(), "系统") << "nothing saved yet";

    panel->submitAPIKey();  // Return
    EXPECT_TRUE(panel->showAPIKey) << "Return leaves the field open";
    EXPECT_EQ(recognizer->aliyunAPIKey(), "k");
    EXPECT_EQ(panel->engineBadge(), "阿里云");

    // A copied key's surrounding blanks go; a line break inside keeps the
    // field open with the reason, and Escape drops the edit.
    panel->apiKeyInput = "k\n3", panel->toggleAPIKeyEditing();
    EXPECT_TRUE(panel->showAPIKey);
    EXPECT_EQ(panel->apiKeyError.get(), MenuBarView::invalidKeyText);
    EXPECT_EQ(recognizer->aliyunAPIKey(), "k");
    panel->cancelAPIKeyEditing();
    EXPECT_FALSE(panel->showAPIKey);
    EXPECT_EQ(panel->apiKeyInput.get(), "k");
    EXPECT_EQ(panel->apiKeyError.get(), "");
    panel->toggleAPIKeyEditing(), panel->apiKeyInput = "k\x01", panel->submitAPIKey();
    panel->apiKeyInput = " \tk2\r\n";
    panel->toggleAPIKeyEditing();  // the checkmark
    EXPECT_EQ(panel->apiKeyError.get(), "") << "a good key takes the reason back";
    EXPECT_FALSE(panel->showAPIKey);
    EXPECT_EQ(recognizer->aliyunAPIKey(), "k2");
    EXPECT_EQ(panel->apiKeyInput.get(), "k2");

    // Closing while editing saves nothing, and closes the open views; the next
    // opening shows the stored key.
    panel->toggleAPIKeyEditing(), panel->togglePermissions();
    panel->apiKeyInput = "", panel->disappear();
    EXPECT_FALSE(panel->showAPIKey || panel->showPermissions);
    EXPECT_EQ(recognizer->aliyunAPIKey(), "k2");
    EXPECT_EQ((panel = open())->apiKeyInput.get(), "k2");
}

TEST_F(MenuBarViewTest, AKeyStillInALockedKeyringShowsOnceItIsReadAndTheViewSaysWhereItIs) {
    sim.secrets.failure.reset(), sim.secrets.stored = "sk-1234567890", sim.secrets.prompt = 1;
    recognizer->apiKeyStore().load();
    EXPECT_EQ((panel = open())->keyRowText(), "等待密钥环解锁");
    sim.scheduler.advance(1);
    EXPECT_EQ(panel->keyRowText(), "••••••567890") << "read while the panel is open";
    panel->togglePermissions();
    const PermissionStatus& last = panel->permissions().back();
    EXPECT_EQ(last.title + "：" + last.detail, "密钥环：API Key 保存在系统密钥环中");
    EXPECT_TRUE(last.granted);
}

TEST_F(MenuBarViewTest, TheConsoleLinkHandsOverItsAddressWithoutABrowser) {
    std::string errors;
    panel->onError = [&](const std::string& message) { errors += message; };
    panel->openConsole();
    EXPECT_EQ(sim.urls.opened, std::vector<std::string>{MenuBarView::consoleURL});
    EXPECT_EQ(MenuBarView::consoleURL.find('?'), MenuBarView::consoleURL.rfind('?'));
    EXPECT_FALSE(sim.pasteboard.contents);
    sim.urls.hasBrowser = false, panel->openConsole();
    EXPECT_EQ(sim.pasteboard.contents, MenuBarView::consoleURL);
    EXPECT_EQ(errors, MenuBarView::noBrowserText + MenuBarView::consoleURL);
}

TEST_F(MenuBarViewTest, EveryWayOutOfACaptureLeavesTheHotkeyWatched) {
    const HotkeyCombo before = hotkeys->currentHotkey;
    const KeyEvent ctrlAltD{KeyEventType::keyDown, 2, ModifierFlag::control | ModifierFlag::option,
                            false};
    const KeyEvent escape{KeyEventType::keyDown, KeyCode::escape, 0, false};
    // Each way starts from where the one before left the hotkey.
    const struct {
        const char* name;
        std::function<void()> leave;
        bool taken;
    } ways[] = {{"second click", [&] { panel->toggleHotkeyRecording(); }, false},
                {"escape", [&] { EXPECT_TRUE(typeInPanel(escape)); }, false},
                {"panel closed", [&] { panel->disappear(); }, false},
                {"a key is taken", [&] { EXPECT_TRUE(typeInPanel(ctrlAltD)); }, true}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        panel = open();
        hotkeys->isHotkeyTaken = true;
        EXPECT_TRUE(panel->isHotkeyTaken());
        panel->toggleHotkeyRecording();
        EXPECT_FALSE(panel->isHotkeyTaken()) << "the mark gives way to the capture";
        EXPECT_EQ(panel->hotkeyButtonText(), "按下新键...");
        EXPECT_TRUE(hotkeys->isListeningForHotkey);
        const KeyEvent shift{KeyEventType::flagsChanged, 56, ModifierFlag::shift, false};
        EXPECT_TRUE(typeInPanel(shift)) << "modifier changes are consumed too";

        way.leave(), sim.scheduler.runUntilIdle();
        EXPECT_FALSE(panel->isRecordingHotkey);
        EXPECT_FALSE(hotkeys->isListeningForHotkey) << "watching resumed";
        EXPECT_EQ(sim.keyboard.globalCount(), 1u);
        EXPECT_EQ(hotkeys->currentHotkey.get() == before, !way.taken);
        EXPECT_EQ(sim.keyboard.localCount(), 1u) << "the panel's monitor is gone";
    }
}

TEST_F(MenuBarViewTest, TheStartAtLoginMarkIsWhatIsOnDiskAfterEveryClick) {
    const struct {
        const char* name;
        bool onDisk;
        const char* error;  // why the entry cannot be changed
        bool shownAfterClick;
    } cases[] = {{"turned on", false, nullptr, true},
                 {"turned off", true, nullptr, false},
                 {"cannot be written", false, "无法写入 x（Permission denied）", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.loginItem = {}, sim.loginItem.enabled = c.onDisk, panel = open();
        std::string errors;
        panel->onError = [&](const std::string& message) { errors += message; };
        EXPECT_EQ(panel->startsAtLogin.get(), c.onDisk) << "read at every opening";
        if (c.error) sim.loginItem.error = PlatformError{"XdgAutostart", 1, c.error};
        panel->toggleStartAtLogin();
        EXPECT_EQ(panel->startsAtLogin.get(), c.shownAfterClick);
        EXPECT_EQ(errors, c.error ? std::string("无法更改开机启动：") + c.error : "");
    }
}

}  // namespace
}  // namespace sayvo
