#include <gtest/gtest.h>

#include <map>

#include "SimPlatform.h"
#include "hotkey/HotkeyManager.h"

namespace sayvo {
namespace {

constexpr std::uint64_t kFn = ModifierFlag::function, kShift = ModifierFlag::shift,
                        kOption = ModifierFlag::option, kControl = ModifierFlag::control,
                        kCaps = ModifierFlag::capsLock;
constexpr std::uint16_t kSpace = KeyCode::space, kFnKey = KeyCode::function, kLeftOption = 58,
                        kLeftShift = 56, kK = 40, kF5 = 96, kMediaKey = 1164;
using Stored = std::map<std::string, sim::FakePreferences::Value>;
using Reserved = std::optional<std::pair<std::uint16_t, std::uint64_t>>;

class HotkeyManagerTest : public ::testing::Test {
protected:
    static KeyEvent flags(std::uint16_t key, std::uint64_t m) {
        return {KeyEventType::flagsChanged, key, m};
    }
    static KeyEvent down(std::uint16_t key, std::uint64_t m, bool repeat = false) {
        return {KeyEventType::keyDown, key, m, repeat};
    }
    static KeyEvent up(std::uint16_t key, std::uint64_t m) { return {KeyEventType::keyUp, key, m}; }
    static Stored stored(std::int64_t keyCode, std::uint64_t m = kOption) {
        return {{"hotkeyKeyCode", keyCode},
                {"hotkeyModifiers", std::int64_t(m)},
                {"hotkeyIsFnKey", false}};
    }
    void make(const Stored& preferences = {}) {
        sim.preferences.raw = preferences;
        manager =
            HotkeyManager::create(sim.preferences, sim.keyboard, sim.scheduler, sim.translations);
        manager->setKeyDownCallback([this] { reports += "D"; });
        manager->setKeyUpCallback([this] { reports += "U"; });
        manager->startListening();
    }
    void SetUp() override { make(); }
    std::size_t monitors() const { return sim.keyboard.globalCount() + sim.keyboard.localCount(); }
    std::string elsewhere(const std::vector<KeyEvent>& events) {
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

TEST_F(HotkeyManagerTest, EachPressIsReportedOnceDownAndOnceUp) {
    const struct {
        bool altSpace;  // else fn
        std::vector<KeyEvent> events;
        const char* reports;
    } cases[] = {{false,
                  {flags(kFnKey, kFn), flags(kLeftShift, kFn | kShift), flags(kLeftShift, kFn),
                   flags(kFnKey, 0)},
                  "DU"},
                 {false, {flags(kLeftShift, kShift), flags(kLeftShift, 0)}, ""},
                 {true,
                  {flags(kLeftOption, kOption), down(kSpace, kOption), down(kSpace, kOption, true),
                   down(kSpace, kOption, true), up(kSpace, kOption), flags(kLeftOption, 0)},
                  "DU"},
                 // A modifier too many or too few, caps lock and fn that do not count, another key.
                 {true, {down(kSpace, kOption | kShift), up(kSpace, kOption | kShift)}, ""},
                 {true, {down(kSpace, 0), up(kSpace, 0)}, ""},
                 {true, {down(kSpace, kOption | kCaps | kFn), up(kSpace, kOption | kCaps)}, "DU"},
                 {true, {down(50, kOption), up(50, kOption)}, ""},
                 // The modifier let go first, then the other way round.
                 {true,
                  {down(kSpace, kOption), flags(kLeftOption, 0), up(kSpace, 0),
                   down(kSpace, kOption), up(kSpace, kOption), flags(kLeftOption, 0)},
                  "DUDU"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        make(c.altSpace ? stored(kSpace) : Stored());
        EXPECT_EQ(elsewhere(c.events), c.reports);
        EXPECT_FALSE(manager->isKeyHeld);
    }
    // In our own windows the hotkey is taken from them, and only the hotkey.
    EXPECT_FALSE(sim.keyboard.typeInOwnWindow(down(50, kOption)));
    EXPECT_FALSE(sim.keyboard.typeInOwnWindow(down(kSpace, kShift)));
    EXPECT_TRUE(sim.keyboard.typeInOwnWindow(down(kSpace, kOption)));
    EXPECT_TRUE(sim.keyboard.typeInOwnWindow(up(kSpace, kOption)));
}

// A global hotkey is taken from every application: a key that types must
// come with a modifier that leaves typing alone, and AltGr never stands alone.
TEST_F(HotkeyManagerTest, ACaptureRefusesKeysThatWouldStopTyping) {
    make();
    constexpr std::uint16_t kAltGr = 1084, kDigit1 = 18, kPause = 1119, kA = 0;
    sim.keyboard.levelKeys = {kAltGr};
    sim.keyboard.names = {{kAltGr, "ISO_Level3_Shift"}, {kA, "Ä"}};
    const struct {
        KeyEvent event;
        const char* refusal;  // nullptr: taken
    } cases[] = {{down(kA, 0), "Ä 会影响打字，请加上 Ctrl、Alt 或 Super"},
                 {down(kA, kShift), "⇧Ä 会影响打字，请加上 Ctrl、Alt 或 Super"},
                 {down(kSpace, kCaps), "Space 会影响打字，请加上 Ctrl、Alt 或 Super"},
                 {down(kDigit1, kFn), "1 会影响打字，请加上 Ctrl、Alt 或 Super"},
                 {down(kAltGr, 0), "ISO_Level3_Shift 用于输入字符，不能作为快捷键"},
                 {down(kAltGr, kControl), "ISO_Level3_Shift 用于输入字符，不能作为快捷键"},
                 {down(kA, kControl), nullptr},
                 {down(kA, kOption | kShift), nullptr},
                 {down(kA, ModifierFlag::command), nullptr},
                 {down(kF5, 0), nullptr},
                 {down(kF5, kShift), nullptr},
                 {down(kPause, 0), nullptr},
                 {flags(kFnKey, kFn), nullptr}};
    for (const auto& c : cases) {
        manager->startRecordingHotkey();
        const HotkeyCombo before = manager->currentHotkey;
        EXPECT_EQ(manager->recordHotkey(c.event), c.refusal == nullptr) << c.event.keyCode;
        EXPECT_EQ(manager->captureRefusal.get(), c.refusal ? c.refusal : "");
        EXPECT_TRUE(!c.refusal || manager->currentHotkey.get() == before) << "nothing taken";
        EXPECT_EQ(manager->isListeningForHotkey, c.refusal != nullptr) << "the capture goes on";
    }
    EXPECT_EQ(manager->displayString(), "fn");
    manager->startRecordingHotkey(), manager->recordHotkey(down(kA, kControl));
    EXPECT_EQ(manager->displayString(), "⌃Ä") << "the layout's name for the key";
}

TEST_F(HotkeyManagerTest, ACaptureSuspendsWatchingUntilAKeyIsTakenAndReserved) {
    EXPECT_EQ(sim.keyboard.reserved, Reserved()) << "fn types nothing and is only observed";
    manager->startRecordingHotkey();
    EXPECT_EQ(monitors(), 0u);
    for (std::uint16_t modifierKey : {54, 55, 56, 58, 59, 60, 61, 62})
        EXPECT_FALSE(manager->recordHotkey(flags(modifierKey, kShift))) << "modifiers alone";
    EXPECT_TRUE(sim.preferences.raw.empty());

    EXPECT_TRUE(manager->recordHotkey(down(kK, kControl | kCaps)));
    EXPECT_EQ(sim.preferences.raw, stored(kK, kControl));
    EXPECT_EQ(sim.keyboard.reserved, Reserved({kK, kControl}));
    EXPECT_EQ(elsewhere({down(kK, kControl), up(kK, kControl)}), "DU");
    EXPECT_FALSE(manager->recordHotkey(down(KeyCode::escape, 0))) << "outside a capture";

    const struct {
        KeyEvent event;
        HotkeyCombo taken;
    } captures[] = {{flags(kFnKey, kFn), HotkeyCombo::fnKey},
                    {down(kF5, kFn), {kF5, 0, false}},  // fn only held, not the key
                    {down(kMediaKey, 0), {kMediaKey, 0, false}}};
    for (const auto& c : captures) {
        manager->startRecordingHotkey();
        EXPECT_EQ(sim.keyboard.reserved, Reserved()) << "given back during a capture";
        EXPECT_TRUE(manager->recordHotkey(c.event));
        EXPECT_EQ(manager->currentHotkey.get(), c.taken);
    }
    manager->startRecordingHotkey(), manager->stopRecordingHotkey();
    EXPECT_EQ(manager->currentHotkey.get().keyCode, kMediaKey) << "a cancel keeps it";
    EXPECT_EQ(monitors(), 2u);

    // A combination another program holds is still taken, and marked, but
    // not watched: its holder answers the press.
    sim.keyboard.heldElsewhere.insert({kK, kControl});
    manager->startRecordingHotkey(), manager->recordHotkey(down(kK, kControl));
    EXPECT_TRUE(manager->isHotkeyTaken);
    EXPECT_EQ(manager->currentHotkey.get(), (HotkeyCombo{kK, kControl, false}));
    EXPECT_EQ(monitors(), 0u);
    EXPECT_EQ(elsewhere({down(kK, kControl), up(kK, kControl)}), "");
    manager->startRecordingHotkey(), manager->recordHotkey(down(kSpace, kControl | kShift));
    EXPECT_FALSE(manager->isHotkeyTaken);
    EXPECT_EQ(sim.keyboard.reserved, Reserved({kSpace, kControl | kShift}));
    for (const KeyEvent& e : {down(kSpace, kControl | kShift), up(kSpace, kControl | kShift)})
        sim.keyboard.typeElsewhere(e);
    EXPECT_EQ(sim.scheduler.pendingCount(), 2u);
    manager.reset(), sim.scheduler.runUntilIdle();
    EXPECT_EQ(reports, "") << "the reports it left behind find no one";
    EXPECT_EQ(sim.keyboard.reserved, Reserved()) << "a destroyed manager gives it back";
}

TEST_F(HotkeyManagerTest, AStoredHotkeyWinsElseTheKeyboardChoosesAndNothingIsWritten) {
    const struct {
        const char* name;
        Stored stored;
        bool fnKey;
        HotkeyCombo expected;  // unusable or missing: the default
    } cases[] = {
        {"nothing stored, fn key", {}, true, HotkeyCombo::fnKey},
        {"nothing stored, no fn key", {}, false, HotkeyCombo::controlOptionSpace},
        {"stored, fn key", stored(kSpace), true, {kSpace, kOption, false}},
        {"a key beyond the layout", stored(1030), false, {1030, kOption, false}},
        {"unusable values",
         {{"hotkeyKeyCode", std::int64_t{-5}}, {"hotkeyModifiers", std::string("option")}},
         false,
         HotkeyCombo::controlOptionSpace},
        {"a modifier as the key", stored(kLeftShift), false, HotkeyCombo::controlOptionSpace},
        {"a code past the table", stored(128), false, HotkeyCombo::controlOptionSpace},
        {"a code past our own", stored(2000), false, HotkeyCombo::controlOptionSpace}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.keyboard.functionKey = c.fnKey, make(c.stored);
        EXPECT_EQ(manager->currentHotkey.get(), c.expected);
        const bool usable =
            !c.stored.empty() &&
            c.expected.keyCode == std::get<std::int64_t>(c.stored.at("hotkeyKeyCode"));
        EXPECT_EQ(manager->usesDefaultHotkey(), !usable);
        EXPECT_EQ(manager->storedHotkeyIsUnusable(), !usable && !c.stored.empty());
        EXPECT_EQ(sim.preferences.raw, c.stored) << "nothing is rewritten until a capture";
    }
}

}  // namespace
}  // namespace sayvo
