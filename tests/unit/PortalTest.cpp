#include <gtest/gtest.h>

#include "FakePortals.h"
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
// A new remote-desktop session's first keys: a Shift tap (42) some compositors
// drop, then Ctrl+V.
const std::string kFirstPaste = "+42 -42 +29 +47 -47 -29 ";

std::optional<int> evdevCode(std::uint16_t key) {
    return key == KeyCode::v ? std::optional(47) : std::nullopt;
}

// Both portals go through the one app registration, absent unless a test makes it present.
class PortalTest : public ::testing::Test {
protected:
    sim::SimPlatform sim;
    sim::FakeHostRegistry registry;
    PortalAppRegistration registration{registry, "app.sayvo.Sayvo"};
};

class ShortcutPortalKeyboardTest : public PortalTest {
protected:
    void SetUp() override {
        manager = HotkeyManager::create(sim.preferences, keyboard, sim.scheduler, sim.translations);
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

    sim::FakeShortcutsPortal portal;
    int settingsOpened = 0;
    ShortcutPortalKeyboard keyboard{portal, registration, sim.keyboard, sim.translations,
                                    [this] { ++settingsOpened; }};
    std::shared_ptr<HotkeyManager> manager;
    std::string reports;
};

TEST_F(ShortcutPortalKeyboardTest, OneSessionWithAFixedTokenBindsTheDefaultHotkey) {
    const std::vector<std::string> expected{"create sayvo push-to-talk=CTRL+ALT+space",
                                            "bind /session/sayvo push-to-talk=CTRL+ALT+space"};
    ASSERT_EQ(portal.calls.size(), 1u);
    EXPECT_EQ(keyboard.problem(), ShortcutPortalKeyboard::pendingText.source);
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
    } cases[] = {{"AAAAD", "DU"}, {"D", ""},        {"aD", ""},  {"AdAD", "DU"},
                 {"ADD", "DU"},   {"ADAD", "DUDU"}, {"AC", "DU"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(signals(c.script), c.reports);
        if (!keyboard.problem()) continue;
        // A bound session that closes is asked for again at once; one that
        // closes before it is bound waits for the next watch.
        EXPECT_EQ(keyboard.problem(), ShortcutPortalKeyboard::pendingText.source);
        EXPECT_EQ(portal.calls.size(), 3u);
        EXPECT_EQ(manager->desktopTrigger.get(), "");
        EXPECT_EQ(signals("ADC"), "");
        EXPECT_EQ(keyboard.problem(), ShortcutPortalKeyboard::closedText.source);
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
        {"refused session", kCancelled, kOk, "/s", ShortcutPortalKeyboard::refusedText.source},
        {"failed session", kFailed, kOk, "/s", ShortcutPortalKeyboard::failedText.source},
        {"no session handle", kOk, kOk, "", ShortcutPortalKeyboard::failedText.source},
        {"refused binding", kOk, kCancelled, "/s", ShortcutPortalKeyboard::refusedText.source},
        {"failed binding", kOk, kFailed, "/s", ShortcutPortalKeyboard::failedText.source}};
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
    EXPECT_EQ(keyboard.problem(), ShortcutPortalKeyboard::unboundText.source);
    auto view =
        MenuBarView::create(sim.platform(keyboard, sim.syntheticKeyboard), nullptr, *manager);
    EXPECT_EQ(view->hotkeyButtonText(), MenuBarView::unboundHotkeyText.source);
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
    ShortcutPortalKeyboard fnKeyboard(fresh, registration, sim.keyboard, sim.translations, nullptr);
    auto fnManager =
        HotkeyManager::create(sim.preferences, fnKeyboard, sim.scheduler, sim.translations);
    fnManager->startListening();
    EXPECT_EQ(fresh.calls, std::vector<std::string>{"create sayvo push-to-talk=CTRL+ALT+space"});
    EXPECT_EQ(sim.preferences.raw.at("hotkeyIsFnKey"), sim::FakePreferences::Value(true));
}

TEST_F(ShortcutPortalKeyboardTest, NoPortalMeansNoReservationAndAReason) {
    sim::FakeShortcutsPortal absent;
    absent.present = false;
    ShortcutPortalKeyboard none(absent, registration, sim.keyboard, sim.translations, nullptr);
    EXPECT_EQ(none.reserveKey(KeyCode::space, ModifierFlag::control), KeyReservation::unavailable);
    EXPECT_TRUE(absent.calls.empty());
    EXPECT_EQ(none.problem(), ShortcutPortalKeyboard::noPortalText.source);
}

// Where the desktop has the registry, the app id goes first, once; a refused
// one (a run from the build tree) still lets both portals work.
TEST_F(PortalTest, TheAppIdIsRegisteredOnceBeforeAnyPortalSession) {
    const struct {
        bool registry;
        PortalOutcome answer;
    } cases[] = {{false, kOk}, {true, kOk}, {true, kFailed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.registry);
        registry = {}, registry.present = c.registry;
        PortalAppRegistration app{registry, "app.sayvo.Sayvo"};
        sim::FakeShortcutsPortal shortcuts;
        sim::FakeRemoteDesktop remote;
        ShortcutPortalKeyboard hotkey{shortcuts, app, sim.keyboard, sim.translations, nullptr};
        PortalSyntheticKeyboard paste{remote, app, sim.preferences, sim.translations, evdevCode};
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

class PortalSyntheticKeyboardTest : public PortalTest {
protected:
    void SetUp() override {
        keyboard.setDeliveryFailureHandler([this](const std::string& m) { failures.push_back(m); });
    }
    void paste() {
        TypeSimulator::pasteText(sim.platform(sim.keyboard, keyboard), TypeSimulator::commandV);
    }

    sim::FakeRemoteDesktop portal;
    PortalSyntheticKeyboard keyboard{portal, registration, sim.preferences, sim.translations,
                                     evdevCode};
    std::vector<std::string> failures;
};

TEST_F(PortalSyntheticKeyboardTest, TheFirstPasteOpensTheOneSessionAndWaitsForIt) {
    EXPECT_TRUE(keyboard.mayAskTheUser());
    paste();
    EXPECT_EQ(portal.sent, "");
    portal.grant();
    EXPECT_EQ(portal.sent, kFirstPaste);
    EXPECT_FALSE(keyboard.mayAskTheUser()) << "a running session asks nothing";
    portal.sent.clear(), paste();
    EXPECT_EQ(portal.sent, "+29 +47 -47 -29 ");
    // A session that ends between pastes is opened again, without a word.
    portal.closed(), paste();
    EXPECT_EQ(portal.sessions, 2);
    portal.grant();
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(keyboard.problem(), std::nullopt);
}

TEST_F(PortalSyntheticKeyboardTest, ARefusedOrLostSessionDropsThePasteAndSaysWhy) {
    const auto answer = [this](const std::string& steps) {
        for (const char step : steps) {
            if (step == 'c') portal.created(kOk, "/rd/1");
            if (step == 'C') portal.created(kCancelled, "");
            if (step == 'F') portal.created(kFailed, "");
            if (step == 's') portal.selected(kOk);
            if (step == 'S') portal.selected(kFailed);
            if (step == 'R') portal.started(kCancelled, 0, "");
            if (step == 'K') portal.started(kOk, 2, "");  // a pointer, no keyboard
            if (step == 'X') portal.closed();
        }
    };
    const struct {
        const char* steps;
        const std::string& message;
    } cases[] = {{"C", PortalSyntheticKeyboard::refusedText.source},
                 {"F", PortalSyntheticKeyboard::failedText.source},
                 {"cS", PortalSyntheticKeyboard::failedText.source},
                 {"csR", PortalSyntheticKeyboard::refusedText.source},
                 {"csK", PortalSyntheticKeyboard::noKeyboardText.source},
                 {"csX", PortalSyntheticKeyboard::closedText.source}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        failures.clear(), portal.sent.clear(), paste(), answer(c.steps);
        EXPECT_EQ(failures, std::vector<std::string>{c.message});
        EXPECT_EQ(keyboard.problem(), c.message);
        // Nothing of it arrives later, and the next paste asks again.
        if (portal.started) portal.started(kOk, RemoteDesktopPortal::keyboardDevice, "");
        EXPECT_EQ(portal.sent, "");
        paste(), portal.grant();
        EXPECT_EQ(portal.sent, kFirstPaste);
        portal.closed(), portal.started = nullptr;
    }
}

// Where the desktop keeps grants, the user is asked once: each session is
// offered the token the last one got; a grant it would not restore is
// dropped, said, and the next paste asks afresh.
TEST_F(PortalSyntheticKeyboardTest, TheDesktopsGrantIsKeptAndOfferedToTheNextSession) {
    const auto stored = [&] { return sim.preferences.stringForKey("remoteDesktopRestoreToken"); };
    const struct {
        bool restores;
        const char* storedBefore;
        PortalOutcome outcome;
        const char *newToken, *offered, *storedAfter;
        std::vector<std::string> failures;
    } cases[] = {
        {true, nullptr, kOk, "t1", "", "t1", {}},
        {true, "t1", kOk, "t2", "t1", "t2", {}},
        {true, "t1", kOk, "", "t1", "", {}},
        {true, "t1", kFailed, "", "t1", "", {PortalSyntheticKeyboard::grantNotRestoredText.source}},
        {true, nullptr, kCancelled, "", "", nullptr, {PortalSyntheticKeyboard::refusedText.source}},
        {false, "t1", kOk, "", "", "t1", {}},  // version 1: nothing to offer or keep
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.restores << c.storedBefore << c.newToken);
        sim.preferences.raw.erase("remoteDesktopRestoreToken");
        if (c.storedBefore) sim.preferences.setString("remoteDesktopRestoreToken", c.storedBefore);
        portal.restores = c.restores, failures.clear(), paste();
        portal.created(kOk, "/rd/1"), portal.selected(kOk);
        EXPECT_EQ(portal.offeredToken, c.offered);
        portal.started(c.outcome, RemoteDesktopPortal::keyboardDevice, c.newToken);
        EXPECT_EQ(stored(),
                  c.storedAfter ? std::optional<std::string>(c.storedAfter) : std::nullopt);
        EXPECT_EQ(failures, c.failures);
        portal.closed();
    }
}

TEST_F(PortalSyntheticKeyboardTest, NoPortalSaysSoAtEachPaste) {
    portal.present = false, paste(), paste();
    EXPECT_EQ(portal.sessions, 0);
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures.back(), PortalSyntheticKeyboard::noPortalText.source);
    // Nothing of them is sent once a portal is there.
    portal.present = true, paste(), portal.grant();
    EXPECT_EQ(portal.sent, kFirstPaste);
}

}  // namespace
}  // namespace sayvo
