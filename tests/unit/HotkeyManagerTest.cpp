#include <gtest/gtest.h>

#include <map>

#include "SimPlatform.h"
#include "hotkey/HotkeyManager.h"

namespace sayvo {
namespace {

constexpr std::uint64_t kFn = ModifierFlag::function, kShift = ModifierFlag::shift,
                        kOption = ModifierFlag::option, kControl = ModifierFlag::control,
                        kCaps = ModifierFlag::capsLock;
constexpr std::uint16_t kSpace = 49, kLeftOption = 58, kLeftShift = 56, kLeftControl = 59, kK = 40;

KeyEvent flags(std::uint16_t key, std::uint64_t mods) {
    return {KeyEventType::flagsChanged, key, mods, false};
}
KeyEvent down(std::uint16_t key, std::uint64_t mods, bool repeat = false) {
    return {KeyEventType::keyDown, key, mods, repeat};
}
KeyEvent up(std::uint16_t key, std::uint64_t mods) {
    return {KeyEventType::keyUp, key, mods, false};
}

class HotkeyManagerTest : public ::testing::Test {
protected:
    void make() {
        manager = HotkeyManager::create(sim.preferences, sim.keyboard, sim.scheduler);
        manager->setKeyDownCallback([this] { reports += "D"; });
        manager->setKeyUpCallback([this] { reports += "U"; });
        manager->startListening();
    }
    void SetUp() override { make(); }
    void useOptionSpace() {
        sim.preferences.raw = {{"hotkeyKeyCode", std::int64_t{kSpace}},
                               {"hotkeyModifiers", std::int64_t(kOption)},
                               {"hotkeyIsFnKey", false}};
        make();
    }
    // Types a script elsewhere and returns the reports it caused once main ran.
    std::string elsewhere(std::initializer_list<KeyEvent> events) {
        reports.clear();
        for (const auto& e : events) sim.keyboard.typeElsewhere(e);
        EXPECT_TRUE(reports.empty()) << "reports must be posted, not called from the handler";
        sim.scheduler.runUntilIdle();
        return reports;
    }

    sim::SimPlatform sim;
    std::shared_ptr<HotkeyManager> manager;
    std::string reports;
};

TEST_F(HotkeyManagerTest, FnModeReportsOncePerPressWhateverOtherModifiersDo) {
    EXPECT_EQ(sim.keyboard.globalMask(), KeyEventMask::flagsChanged);
    EXPECT_EQ(elsewhere({flags(63, kFn)}), "D");
    EXPECT_TRUE(manager->isKeyHeld);
    EXPECT_EQ(elsewhere({flags(kLeftShift, kFn | kShift), flags(kLeftShift, kFn)}), "");
    EXPECT_EQ(elsewhere({flags(63, 0)}), "U");
    EXPECT_EQ(elsewhere({flags(kLeftShift, kShift), flags(kLeftShift, 0)}), "")
        << "fn not involved";
    // In our own windows the fn key works too and the event is passed on.
    EXPECT_FALSE(sim.keyboard.typeInOwnWindow(flags(63, kFn)));
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(reports, "D");
}

TEST_F(HotkeyManagerTest, RegularModeMatchesExactModifiersAndIgnoresRepeats) {
    useOptionSpace();
    EXPECT_EQ(sim.keyboard.globalMask(), KeyEventMask::keyDown | KeyEventMask::keyUp);
    EXPECT_EQ(elsewhere({flags(kLeftOption, kOption), down(kSpace, kOption),
                         down(kSpace, kOption, true), down(kSpace, kOption, true)}),
              "D");
    EXPECT_EQ(elsewhere({up(kSpace, kOption), flags(kLeftOption, 0)}), "U");

    EXPECT_EQ(elsewhere({down(kSpace, kOption | kShift), up(kSpace, kOption | kShift)}), "")
        << "an extra modifier is another chord";
    EXPECT_EQ(elsewhere({down(kSpace, 0), up(kSpace, 0)}), "") << "a missing one too";
    EXPECT_EQ(elsewhere({down(kSpace, kOption | kCaps | kFn), up(kSpace, kOption | kCaps)}), "DU")
        << "caps lock and fn do not count";
    EXPECT_EQ(elsewhere({down(50, kOption), up(50, kOption)}), "");
}

TEST_F(HotkeyManagerTest, ReleasingTheModifierFirstStillEndsTheHotkey) {
    useOptionSpace();
    // Modifier first, then the key (the common way to let go).
    EXPECT_EQ(elsewhere({down(kSpace, kOption), flags(kLeftOption, 0), up(kSpace, 0)}), "DU");
    EXPECT_FALSE(manager->isKeyHeld);
    // The next press works, and so does the key-first order.
    EXPECT_EQ(elsewhere({down(kSpace, kOption), up(kSpace, kOption), flags(kLeftOption, 0)}), "DU");
    // A release of the key that was never reported as down stays unreported.
    EXPECT_EQ(elsewhere({up(kSpace, 0)}), "");
}

TEST_F(HotkeyManagerTest, OwnWindowsLoseOnlyTheHotkeyEvents) {
    useOptionSpace();
    EXPECT_TRUE(sim.keyboard.typeInOwnWindow(down(kSpace, kOption)));
    EXPECT_FALSE(sim.keyboard.typeInOwnWindow(down(kSpace, kOption, true))) << "repeats pass";
    EXPECT_FALSE(sim.keyboard.typeInOwnWindow(down(0, kOption)));
    EXPECT_TRUE(sim.keyboard.typeInOwnWindow(up(kSpace, kOption)));
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(reports, "DU");
}

TEST_F(HotkeyManagerTest, CaptureSuspendsWatchingUntilAKeyIsTaken) {
    manager->startRecordingHotkey();
    EXPECT_EQ(sim.keyboard.globalCount() + sim.keyboard.localCount(), 0u);
    EXPECT_EQ(elsewhere({flags(63, kFn), flags(63, 0)}), "");

    // Modifiers alone keep capturing.
    for (std::uint16_t modifierKey : {54, 55, 56, 58, 59, 60, 61, 62}) {
        EXPECT_FALSE(manager->recordHotkey(flags(modifierKey, kShift)));
    }
    EXPECT_TRUE(manager->isListeningForHotkey);
    EXPECT_EQ(sim.preferences.writeCount, 0);

    EXPECT_TRUE(manager->recordHotkey(down(kK, kControl | kCaps)));
    EXPECT_EQ(manager->currentHotkey.get(), (HotkeyCombo{kK, kControl, false}));
    EXPECT_FALSE(manager->isListeningForHotkey);
    EXPECT_EQ(sim.preferences.writeCount, 3);
    EXPECT_EQ(std::get<std::int64_t>(sim.preferences.raw.at("hotkeyModifiers")),
              std::int64_t(kControl));
    EXPECT_EQ(sim.keyboard.globalMask(), KeyEventMask::keyDown | KeyEventMask::keyUp);
    EXPECT_EQ(elsewhere({down(kK, kControl), up(kK, kControl)}), "DU");

    // Outside a capture nothing is taken.
    EXPECT_FALSE(manager->recordHotkey(down(53, 0)));
}

TEST_F(HotkeyManagerTest, CaptureTakesFnEscapeOrGivesUp) {
    useOptionSpace();
    manager->startRecordingHotkey();
    EXPECT_TRUE(manager->recordHotkey(flags(63, kFn)));
    EXPECT_EQ(manager->currentHotkey.get(), HotkeyCombo::fnKey);
    EXPECT_EQ(sim.keyboard.globalMask(), KeyEventMask::flagsChanged);

    manager->startRecordingHotkey();
    EXPECT_TRUE(manager->recordHotkey(down(kK, kFn)));
    EXPECT_EQ(manager->currentHotkey.get(), (HotkeyCombo{kK, 0, false}))
        << "fn only held, not the key";

    manager->startRecordingHotkey();
    EXPECT_TRUE(manager->recordHotkey(down(53, 0)));
    EXPECT_EQ(manager->currentHotkey.get().displayString(), "⎋");

    manager->startRecordingHotkey();
    manager->stopRecordingHotkey();
    EXPECT_EQ(manager->currentHotkey.get().displayString(), "⎋");
    EXPECT_EQ(sim.keyboard.globalCount(), 1u);
    EXPECT_EQ(sim.keyboard.localCount(), 1u);
}

TEST_F(HotkeyManagerTest, RestartingLeavesExactlyOneSetOfMonitors) {
    manager->startListening();
    manager->startListening();
    EXPECT_EQ(sim.keyboard.globalCount(), 1u);
    EXPECT_EQ(sim.keyboard.localCount(), 1u);
    manager->stopListening();
    EXPECT_EQ(sim.keyboard.globalCount() + sim.keyboard.localCount(), 0u);

    // Without accessibility trust only the local monitor exists; nothing breaks.
    sim.keyboard.refuseGlobalMonitors = true;
    manager->startListening();
    EXPECT_EQ(sim.keyboard.globalCount(), 0u);
    EXPECT_EQ(sim.keyboard.localCount(), 1u);
}

TEST_F(HotkeyManagerTest, ReportsUseTheActionsCurrentAtDeliveryAndNeedTheManager) {
    sim.keyboard.typeElsewhere(flags(63, kFn));
    manager->setKeyDownCallback([this] { reports += "new"; });
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(reports, "new");

    sim.keyboard.typeElsewhere(flags(63, 0));
    manager.reset();
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(reports, "new");
    EXPECT_EQ(sim.keyboard.globalCount() + sim.keyboard.localCount(), 0u)
        << "a destroyed manager removes its monitors";
}

TEST_F(HotkeyManagerTest, AStoredHotkeyWinsElseTheKeyboardChoosesAndNothingIsWritten) {
    const std::map<std::string, sim::FakePreferences::Value> optionSpace = {
        {"hotkeyKeyCode", std::int64_t{kSpace}},
        {"hotkeyModifiers", std::int64_t(kOption)},
        {"hotkeyIsFnKey", false}};
    const std::map<std::string, sim::FakePreferences::Value> unusable = {
        {"hotkeyKeyCode", std::int64_t{-5}},
        {"hotkeyModifiers", std::string("option")},
        {"hotkeyIsFnKey", false}};
    const auto stored = [](std::int64_t keyCode) {
        return std::map<std::string, sim::FakePreferences::Value>{
            {"hotkeyKeyCode", keyCode},
            {"hotkeyModifiers", std::int64_t(kOption)},
            {"hotkeyIsFnKey", false}};
    };
    const struct {
        const char* name;
        std::map<std::string, sim::FakePreferences::Value> stored;
        bool fnKey;
        HotkeyCombo expected;
        bool isDefault;
        bool isUnusable;
    } cases[] = {
        {"nothing stored, fn key", {}, true, HotkeyCombo::fnKey, true, false},
        {"nothing stored, no fn key", {}, false, HotkeyCombo::controlOptionSpace, true, false},
        {"stored", optionSpace, false, {kSpace, kOption, false}, false, false},
        {"stored, fn key", optionSpace, true, {kSpace, kOption, false}, false, false},
        {"a key beyond the layout", stored(1030), false, {1030, kOption, false}, false, false},
        {"unusable values", unusable, false, HotkeyCombo::controlOptionSpace, true, true},
        {"a modifier as the key", stored(kLeftShift), false, HotkeyCombo::controlOptionSpace, true,
         true},
        {"a code past the table", stored(128), false, HotkeyCombo::controlOptionSpace, true, true},
        {"a code past our own", stored(2000), false, HotkeyCombo::controlOptionSpace, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.preferences.raw = c.stored;
        sim.preferences.writeCount = 0;
        sim.keyboard.functionKey = c.fnKey;
        make();
        EXPECT_EQ(manager->currentHotkey.get(), c.expected);
        EXPECT_EQ(manager->usesDefaultHotkey(), c.isDefault);
        EXPECT_EQ(manager->storedHotkeyIsUnusable(), c.isUnusable);
        EXPECT_EQ(sim.preferences.raw, c.stored) << "left in place";
        EXPECT_EQ(sim.preferences.writeCount, 0) << "nothing is rewritten until a capture";
    }
}

TEST_F(HotkeyManagerTest, AKeyThatTypesIsReservedAndTheReservationFollowsTheHotkey) {
    using Reserved = std::optional<std::pair<std::uint16_t, std::uint64_t>>;
    EXPECT_EQ(sim.keyboard.reserved, Reserved()) << "fn types nothing and is only observed";
    useOptionSpace();
    EXPECT_EQ(sim.keyboard.reserved, Reserved({kSpace, kOption}));

    manager->startRecordingHotkey();
    EXPECT_EQ(sim.keyboard.reserved, Reserved()) << "given back during a capture";
    sim.keyboard.heldElsewhere.insert({kK, kControl});
    manager->recordHotkey(down(kK, kControl));
    EXPECT_TRUE(manager->isHotkeyTaken) << "another program holds it";
    EXPECT_EQ(manager->currentHotkey.get(), (HotkeyCombo{kK, kControl, false}));

    manager->startRecordingHotkey();
    manager->recordHotkey(down(kSpace, kControl | kShift));
    EXPECT_FALSE(manager->isHotkeyTaken);
    EXPECT_EQ(sim.keyboard.reserved, Reserved({kSpace, kControl | kShift}));
    manager.reset();
    EXPECT_EQ(sim.keyboard.reserved, Reserved()) << "a destroyed manager gives it back";
}

}  // namespace
}  // namespace sayvo
