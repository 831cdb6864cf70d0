#include <gtest/gtest.h>

#include "FakePortals.h"
#include "SimPlatform.h"
#include "hotkey/HotkeyManager.h"
#include "portal/PortalSyntheticKeyboard.h"
#include "portal/ShortcutPortalKeyboard.h"
#include "ui/MenuBarView.h"

namespace sayvo {
namespace {

constexpr auto kOk = PortalOutcome::success, kCancelled = PortalOutcome::cancelled,
               kFailed = PortalOutcome::failed;

class ShortcutPortalKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager = HotkeyManager::create(sim.preferences, keyboard, sim.scheduler);
        manager->setKeyDownCallback([this] { reports += "D"; });
        manager->setKeyUpCallback([this] { reports += "U"; });
        manager->startListening();
    }
    // Answers the set-up so far; the desktop binds `trigger`.
    void bind(const std::string& trigger = "Ctrl+Alt+Space") {
        portal.created(kOk, "/session/sayvo"), portal.bound(kOk, {{"push-to-talk", trigger}});
    }
    std::string signals(const std::string& script) {
        reports.clear();
        for (const char c : script) {
            if (c == 'A') portal.events.activated("push-to-talk");
            if (c == 'a') portal.events.activated("other");
            if (c == 'D') portal.events.deactivated("push-to-talk");
            if (c == 'd') portal.events.deactivated("other");
            if (c == 'C') portal.events.sessionClosed();
        }
        sim.scheduler.runUntilIdle();
        return reports;
    }

    sim::SimPlatform sim;
    sim::FakeShortcutsPortal portal;
    int settingsOpened = 0;
    sim::FakeHostRegistry registry;
    PortalAppRegistration registration{registry, "app"};
    ShortcutPortalKeyboard keyboard{portal, registration, sim.keyboard,
                                    [this] { ++settingsOpened; }};
    std::shared_ptr<HotkeyManager> manager;
    std::string reports;
};

TEST_F(ShortcutPortalKeyboardTest, OneSessionWithAFixedTokenBindsTheDefaultHotkey) {
    const std::vector<std::string> expected{"create sayvo push-to-talk=CTRL+ALT+space",
                                            "bind /session/sayvo push-to-talk=CTRL+ALT+space"};
    ASSERT_EQ(portal.calls.size(), 1u);
    EXPECT_EQ(keyboard.problem(), ShortcutPortalKeyboard::pendingText);
    bind("Ctrl+Alt+D");
    EXPECT_EQ(portal.calls, expected);
    EXPECT_EQ(manager->desktopTrigger.get(), "Ctrl+Alt+D");
    EXPECT_EQ(manager->displayString(), "Ctrl+Alt+D");
    EXPECT_EQ(keyboard.problem(), std::nullopt);
    // Watching again (after a panel's capture, say) keeps the session, and
    // a hold under way still ends.
    EXPECT_EQ(signals("A"), "D");
    manager->startListening();
    EXPECT_EQ(portal.calls.size(), 2u);
    EXPECT_EQ(signals("D"), "U");
    EXPECT_EQ(signals("AD"), "DU");
    manager.reset();
    EXPECT_EQ(sim.keyboard.localCount(), 0u);
}

TEST_F(ShortcutPortalKeyboardTest, AHoldIsOneDownAndOneUpWhateverTheDesktopRepeats) {
    bind();
    const struct {
        const char* script;
        const char* reports;
    } cases[] = {
        {"AAAAD", "DU"}, {"D", ""},        {"aD", ""},   {"AdAD", "DU"},
        {"ADD", "DU"},   {"ADAD", "DUDU"}, {"AC", "DU"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(signals(c.script), c.reports);
        if (!keyboard.problem()) continue;
        // A bound session that closes is asked for again at once; one that
        // closes before it is bound waits for the next watch.
        EXPECT_EQ(keyboard.problem(), ShortcutPortalKeyboard::pendingText);
        EXPECT_EQ(portal.calls.size(), 3u);
        EXPECT_EQ(manager->desktopTrigger.get(), "");
        EXPECT_EQ(signals("ADC"), "");
        EXPECT_EQ(keyboard.problem(), ShortcutPortalKeyboard::closedText);
        EXPECT_EQ(portal.calls.size(), 3u);
        manager->startListening(), bind();
        EXPECT_EQ(signals("AD"), "DU");
    }
}

TEST_F(ShortcutPortalKeyboardTest, AFailedSetUpSaysWhyAndLeavesTheKeyDead) {
    const struct {
        const char* name;
        PortalOutcome create, bind;
        std::string session;
        const std::string& problem;
    } cases[] = {
        {"refused session", kCancelled, kOk, "/s", ShortcutPortalKeyboard::refusedText},
        {"failed session", kFailed, kOk, "/s", ShortcutPortalKeyboard::failedText},
        {"no session handle", kOk, kOk, "", ShortcutPortalKeyboard::failedText},
        {"refused binding", kOk, kCancelled, "/s", ShortcutPortalKeyboard::refusedText},
        {"failed binding", kOk, kFailed, "/s", ShortcutPortalKeyboard::failedText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        manager->startListening();  // opens a new session after the last failure
        portal.created(c.create, c.session);
        if (c.create == kOk && !c.session.empty()) portal.bound(c.bind, {});
        EXPECT_EQ(keyboard.problem(), c.problem);
        EXPECT_EQ(signals("AD"), "");
        // An answer to the given-up session changes nothing.
        if (portal.bound) portal.bound(kOk, {{"push-to-talk", "F9"}});
        EXPECT_EQ(keyboard.problem(), c.problem);
        portal.bound = nullptr;
    }
}

// GNOME 48 answers "failed" to a bind that worked; its results tell.
TEST_F(ShortcutPortalKeyboardTest, ABindIsJudgedByItsResultsUnlessTheUserCancelled) {
    for (const auto code : {kCancelled, kFailed}) {  // a refusal leaves it unbound for the next
        manager->startListening();
        portal.created(kOk, "/s"), portal.bound(code, {{"push-to-talk", "Ctrl+Alt+Space"}});
        EXPECT_EQ(manager->desktopTrigger.get(), code == kFailed ? "Ctrl+Alt+Space" : "");
        EXPECT_EQ(signals("AD"), code == kFailed ? "DU" : "");
    }
}

TEST_F(ShortcutPortalKeyboardTest, WithoutABoundKeyThePanelRowOpensTheDesktopSettings) {
    bind("");
    EXPECT_EQ(keyboard.problem(), ShortcutPortalKeyboard::unboundText);
    auto view =
        MenuBarView::create(sim.platform(keyboard, sim.syntheticKeyboard), nullptr, *manager);
    EXPECT_EQ(view->hotkeyButtonText(), MenuBarView::unboundHotkeyText);
    view->toggleHotkeyRecording();
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_FALSE(view->isRecordingHotkey);
    // The user binds one in the desktop's settings.
    portal.events.shortcutsChanged({{"push-to-talk", "Meta+H"}});
    EXPECT_EQ(view->hotkeyButtonText(), "Meta+H");
    EXPECT_EQ(keyboard.problem(), std::nullopt);
    // A manager that is gone hears of no later change.
    view.reset(), manager.reset();
    portal.events.shortcutsChanged({{"push-to-talk", "Meta+J"}});
}

// The fixture's session, made without a stored fn, does not take part.
TEST_F(ShortcutPortalKeyboardTest, AStoredFnGivesWayToThePresetWhereTheDesktopBinds) {
    sim.preferences.raw = {{"hotkeyIsFnKey", true}};
    sim::FakeShortcutsPortal fresh;
    ShortcutPortalKeyboard fnKeyboard(fresh, registration, sim.keyboard, nullptr);
    auto fnManager = HotkeyManager::create(sim.preferences, fnKeyboard, sim.scheduler);
    fnManager->startListening();
    EXPECT_EQ(fresh.calls, std::vector<std::string>{"create sayvo push-to-talk=CTRL+ALT+space"});
    EXPECT_EQ(sim.preferences.raw.at("hotkeyIsFnKey"), sim::FakePreferences::Value(true));
}

TEST_F(ShortcutPortalKeyboardTest, NoPortalMeansNoReservationAndAReason) {
    sim::FakeShortcutsPortal absent;
    absent.present = false;
    ShortcutPortalKeyboard none(absent, registration, sim.keyboard, nullptr);
    EXPECT_EQ(none.reserveKey(KeyCode::space, ModifierFlag::control), KeyReservation::unavailable);
    EXPECT_TRUE(absent.calls.empty());
    EXPECT_EQ(none.problem(), ShortcutPortalKeyboard::noPortalText);
}

TEST_F(ShortcutPortalKeyboardTest, TriggersAreWrittenInThePortalsNotation) {
    namespace F = ModifierFlag;
    const struct {
        std::uint16_t key;
        std::uint64_t modifiers;
        const char* trigger;
    } cases[] = {
        {KeyCode::space, F::control | F::option, "CTRL+ALT+space"},
        {KeyCode::v, F::shift | F::command, "SHIFT+LOGO+v"},
        {36, F::control, "CTRL+Return"},
        {51, 0, "BackSpace"},
        {27, F::control, "CTRL+minus"},
        {122, F::option, "ALT+F1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortcutPortalKeyboard::portalTrigger(c.key, c.modifiers), c.trigger);
    // And read back for the hotkey row.
    const std::pair<const char*, const char*> described[] = {
        {"Press <Control><Alt>space", "Ctrl+Alt+Space"},
        {"Ctrl+Alt+Space", "Ctrl+Alt+Space"},
        {"Press <Hyper>x", "Press <Hyper>x"},
    };
    for (const auto& [description, words] : described)
        EXPECT_EQ(ShortcutPortalKeyboard::readableTrigger(description), words);
}

// Where the desktop has the registry, the app id goes first, once; a refused
// one (a run from the build tree) still lets both portals work.
TEST(PortalAppRegistrationTest, TheAppIdIsRegisteredOnceBeforeAnyPortalSession) {
    const struct {
        bool registry;
        PortalOutcome answer;
    } cases[] = {{false, kOk}, {true, kOk}, {true, kFailed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.registry);
        sim::SimPlatform sim;
        sim::FakeHostRegistry registry;
        registry.present = c.registry;
        PortalAppRegistration registration{registry, "app.sayvo.Sayvo"};
        sim::FakeShortcutsPortal shortcuts;
        sim::FakeRemoteDesktop remote;
        ShortcutPortalKeyboard hotkey{shortcuts, registration, sim.keyboard, nullptr};
        PortalSyntheticKeyboard paste{remote, registration, sim.preferences,
                                      [](std::uint16_t) { return std::optional(47); }};
        hotkey.reserveKey(KeyCode::space, ModifierFlag::control);
        paste.post({KeyCode::v, true, 0});
        const auto sessions = [&] { return shortcuts.calls.size() + remote.sessions; };
        if (c.registry) {
            EXPECT_EQ(registry.registered, std::vector<std::string>{"app.sayvo.Sayvo"});
            EXPECT_EQ(sessions(), 0u);
            registry.answer(c.answer);
        }
        EXPECT_EQ(sessions(), 2u);
        remote.grant(), remote.closed(), paste.post({KeyCode::v, true, 0});
        EXPECT_EQ(remote.sessions, 2);
        EXPECT_EQ(registry.registered.size(), c.registry ? 1u : 0u);
    }
}

}  // namespace
}  // namespace sayvo
