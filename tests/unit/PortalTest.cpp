#include <gtest/gtest.h>

#include "SimPlatform.h"
#include "hotkey/HotkeyManager.h"
#include "paste/TypeSimulator.h"
#include "portal/PortalSyntheticKeyboard.h"
#include "portal/ShortcutPortalKeyboard.h"
#include "ui/MenuBarView.h"

namespace sayvo {
namespace {

constexpr auto kOk = PortalOutcome::success, kCancelled = PortalOutcome::cancelled,
               kFailed = PortalOutcome::failed;

// Keeps every call's reply for the test to answer, as the bus would later.
class FakeShortcutsPortal final : public GlobalShortcutsPortal {
public:
    bool present = true;
    std::vector<std::string> calls;  // "create <token> <trigger>", "bind <session> <trigger>"
    SessionReply created;
    BindReply bound;
    Events events;

    bool available() const override { return present; }
    void createSession(const std::string& token, const std::vector<Shortcut>& shortcuts,
                       SessionReply reply) override {
        calls.push_back("create " + token + " " + describe(shortcuts));
        created = std::move(reply);
    }
    void bindShortcuts(const std::string& session, const std::vector<Shortcut>& shortcuts,
                       BindReply reply) override {
        calls.push_back("bind " + session + " " + describe(shortcuts));
        bound = std::move(reply);
    }
    void setEvents(Events e) override { events = std::move(e); }

    static std::string describe(const std::vector<Shortcut>& shortcuts) {
        std::string text;
        for (const auto& s : shortcuts) text += s.id + "=" + s.preferredTrigger;
        return text;
    }
};

class ShortcutPortalTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager = HotkeyManager::create(sim.preferences, keyboard, sim.scheduler);
        manager->setKeyDownCallback([this] { reports += "D"; });
        manager->setKeyUpCallback([this] { reports += "U"; });
        manager->startListening();
    }
    // Answers the set-up so far; the desktop binds `trigger`.
    void bind(const std::string& trigger = "Ctrl+Alt+Space") {
        portal.created(kOk, "/session/sayvo");
        portal.bound(kOk, {{"push-to-talk", trigger}});
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
    FakeShortcutsPortal portal;
    int settingsOpened = 0;
    ShortcutPortalKeyboard keyboard{portal, sim.keyboard, [this] { ++settingsOpened; }};
    std::shared_ptr<HotkeyManager> manager;
    std::string reports;
};

TEST_F(ShortcutPortalTest, OneSessionWithAFixedTokenBindsTheDefaultHotkey) {
    const std::vector<std::string> expected{"create sayvo push-to-talk=CTRL+ALT+Space",
                                            "bind /session/sayvo push-to-talk=CTRL+ALT+Space"};
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

TEST_F(ShortcutPortalTest, AHoldIsOneDownAndOneUpWhateverTheDesktopRepeats) {
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
        manager->startListening();
        bind();
        EXPECT_EQ(signals("AD"), "DU");
    }
}

TEST_F(ShortcutPortalTest, AFailedSetUpSaysWhyAndLeavesTheKeyDead) {
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
        if (c.create == kOk && !c.session.empty()) portal.bound(c.bind, {{"push-to-talk", "F9"}});
        EXPECT_EQ(keyboard.problem(), c.problem);
        EXPECT_EQ(signals("AD"), "");
        // An answer to the given-up session changes nothing.
        if (portal.bound) portal.bound(kOk, {{"push-to-talk", "F9"}});
        EXPECT_EQ(keyboard.problem(), c.problem);
        portal.bound = nullptr;
    }
}

TEST_F(ShortcutPortalTest, WithoutABoundKeyThePanelRowOpensTheDesktopSettings) {
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
    view.reset();
    manager.reset();
    portal.events.shortcutsChanged({{"push-to-talk", "Meta+J"}});
}

TEST(ShortcutPortalKeyboardTest, AStoredFnGivesWayToThePresetWhereTheDesktopBinds) {
    sim::SimPlatform sim;
    sim.preferences.raw = {{"hotkeyIsFnKey", true}};
    FakeShortcutsPortal portal;
    ShortcutPortalKeyboard keyboard(portal, sim.keyboard, nullptr);
    auto manager = HotkeyManager::create(sim.preferences, keyboard, sim.scheduler);
    manager->startListening();
    EXPECT_EQ(portal.calls, std::vector<std::string>{"create sayvo push-to-talk=CTRL+ALT+Space"});
    EXPECT_EQ(sim.preferences.raw.at("hotkeyIsFnKey"), sim::FakePreferences::Value(true));
}

TEST(ShortcutPortalKeyboardTest, NoPortalMeansNoReservationAndAReason) {
    sim::SimPlatform sim;
    FakeShortcutsPortal portal;
    portal.present = false;
    ShortcutPortalKeyboard keyboard(portal, sim.keyboard, nullptr);
    EXPECT_EQ(keyboard.reserveKey(KeyCode::space, ModifierFlag::control),
              KeyReservation::unavailable);
    EXPECT_TRUE(portal.calls.empty());
    EXPECT_EQ(keyboard.problem(), ShortcutPortalKeyboard::noPortalText);
}

TEST(ShortcutPortalKeyboardTest, TriggersAreWrittenInThePortalsNotation) {
    namespace F = ModifierFlag;
    const struct {
        std::uint16_t key;
        std::uint64_t modifiers;
        const char* trigger;
    } cases[] = {
        {KeyCode::space, F::control | F::option, "CTRL+ALT+Space"},
        {KeyCode::v, F::shift | F::command, "SHIFT+LOGO+V"},
        {36, F::control, "CTRL+Return"},
        {KeyCode::escape, 0, "Escape"},
        {122, F::option, "ALT+F1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShortcutPortalKeyboard::portalTrigger(c.key, c.modifiers), c.trigger);
    }
}

class FakeRemoteDesktop final : public RemoteDesktopPortal {
public:
    bool present = true;
    int sessions = 0;
    SessionReply created;
    Reply selected;
    StartReply started;
    std::function<void()> closed;
    std::string sent;  // "+29 +47 -47 -29 "

    bool available() const override { return present; }
    void createSession(SessionReply reply) override {
        ++sessions;
        created = std::move(reply);
    }
    void selectDevices(const std::string&, unsigned devices, Reply reply) override {
        EXPECT_EQ(devices, keyboardDevice);
        selected = std::move(reply);
    }
    void start(const std::string&, StartReply reply) override { started = std::move(reply); }
    void notifyKeyboardKeycode(const std::string& session, int keycode, bool pressed) override {
        EXPECT_EQ(session, "/rd/1");
        sent += (pressed ? "+" : "-") + std::to_string(keycode) + " ";
    }
    void setSessionClosedHandler(std::function<void()> handler) override {
        closed = std::move(handler);
    }
    void grant(unsigned devices = keyboardDevice) {
        created(kOk, "/rd/1");
        selected(kOk);
        started(kOk, devices);
    }
};

class RemoteDesktopPasteTest : public ::testing::Test {
protected:
    void SetUp() override {
        keyboard.setDeliveryFailureHandler([this](const std::string& m) { failures.push_back(m); });
    }
    void paste() { TypeSimulator::pasteText(sim.platform(sim.keyboard, keyboard)); }

    sim::SimPlatform sim;
    FakeRemoteDesktop portal;
    PortalSyntheticKeyboard keyboard{portal, [](std::uint16_t key) -> std::optional<int> {
                                         if (key == KeyCode::v) return 47;
                                         return std::nullopt;
                                     }};
    std::vector<std::string> failures;
};

TEST_F(RemoteDesktopPasteTest, TheFirstPasteOpensTheOneSessionAndWaitsForIt) {
    paste();
    EXPECT_EQ(portal.sent, "");
    portal.grant();
    EXPECT_EQ(portal.sent, "+42 -42 +29 +47 -47 -29 ");
    portal.sent.clear();
    paste();
    EXPECT_EQ(portal.sent, "+29 +47 -47 -29 ");
    // A session that ends between pastes is opened again, without a word.
    portal.closed();
    paste();
    EXPECT_EQ(portal.sessions, 2);
    portal.grant();
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(keyboard.problem(), std::nullopt);
}

TEST_F(RemoteDesktopPasteTest, ARefusedOrLostSessionDropsThePasteAndSaysWhy) {
    const auto answer = [this](const std::string& steps) {
        for (const char step : steps) {
            if (step == 'c') portal.created(kOk, "/rd/1");
            if (step == 'C') portal.created(kCancelled, "");
            if (step == 'F') portal.created(kFailed, "");
            if (step == 's') portal.selected(kOk);
            if (step == 'S') portal.selected(kFailed);
            if (step == 'R') portal.started(kCancelled, 0);
            if (step == 'K') portal.started(kOk, 2);  // a pointer, no keyboard
            if (step == 'X') portal.closed();
        }
    };
    const struct {
        const char* steps;
        const std::string& message;
    } cases[] = {
        {"C", PortalSyntheticKeyboard::refusedText},
        {"F", PortalSyntheticKeyboard::failedText},
        {"cS", PortalSyntheticKeyboard::failedText},
        {"csR", PortalSyntheticKeyboard::refusedText},
        {"csK", PortalSyntheticKeyboard::noKeyboardText},
        {"csX", PortalSyntheticKeyboard::closedText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        failures.clear();
        portal.sent.clear();
        paste();
        answer(c.steps);
        EXPECT_EQ(failures, std::vector<std::string>{c.message});
        EXPECT_EQ(keyboard.problem(), c.message);
        // Nothing of it arrives later, and the next paste asks again.
        if (portal.started) portal.started(kOk, RemoteDesktopPortal::keyboardDevice);
        EXPECT_EQ(portal.sent, "");
        paste();
        portal.grant();
        EXPECT_EQ(portal.sent, "+42 -42 +29 +47 -47 -29 ");
        portal.closed();
        portal.started = nullptr;
    }
}

TEST_F(RemoteDesktopPasteTest, NoPortalSaysSoAtEachPaste) {
    portal.present = false;
    paste();
    paste();
    EXPECT_EQ(portal.sessions, 0);
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures.back(), PortalSyntheticKeyboard::noPortalText);
    // Nothing of them is sent once a portal is there.
    portal.present = true;
    paste();
    portal.grant();
    EXPECT_EQ(portal.sent, "+42 -42 +29 +47 -47 -29 ");
}

}  // namespace
}  // namespace sayvo
