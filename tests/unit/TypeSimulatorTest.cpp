#include <gtest/gtest.h>

#include "SimPlatform.h"
#include "paste/TypeSimulator.h"

using namespace sayvo;
using Keys = TypeSimulator::PasteKeys;

TEST(TypeSimulatorTest, PasteTextPostsItsKeysAloneAndSkipsOnlyWhatFailedToBeMade) {
    const struct {
        bool source, keyDown, keyUp;
        std::vector<bool> posted;  // key-down or key-up, in order
    } cases[] = {{false, false, false, {true, false}},
                 {true, false, false, {true, false}},  // made without a source
                 {false, true, false, {false}},
                 {false, false, true, {true}}};
    for (const auto& c : cases) {
        sim::SimPlatform sim;
        // The user still holds other modifiers: the paste must not become another command.
        sim.syntheticKeyboard.userHeldFlags = ModifierFlag::control | ModifierFlag::function;
        sim.syntheticKeyboard.failSource = c.source;
        sim.syntheticKeyboard.failKeyDown = c.keyDown;
        sim.syntheticKeyboard.failKeyUp = c.keyUp;
        TypeSimulator::pasteText(sim.platform(), TypeSimulator::shiftInsert);
        std::vector<bool> posted;
        for (const auto& event : sim.syntheticKeyboard.posted) {
            EXPECT_EQ((Keys{event.keyCode, event.flags}), TypeSimulator::shiftInsert);
            posted.push_back(event.keyDown);
        }
        EXPECT_EQ(posted, c.posted);
    }
}

// Terminals paste the primary selection with Shift+Insert: it must hold the
// new text, or nothing is pasted at all (never the user's older selection).
TEST(TypeSimulatorTest, TheKeysFollowTheDesktopsSelectionsAndARefusedWritePastesNothing) {
    const struct {
        bool primary, refuseClipboard, refusePrimary;
        std::optional<Keys> keys;
    } cases[] = {{false, false, false, TypeSimulator::commandV},
                 {true, false, false, TypeSimulator::shiftInsert},
                 {true, false, true, std::nullopt},
                 {true, true, false, std::nullopt},
                 {false, true, false, std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.primary << c.refuseClipboard << c.refusePrimary);
        sim::SimPlatform sim;
        sim.pasteboard.primary = c.primary;
        sim.pasteboard.refuse = c.refuseClipboard;
        sim.pasteboard.refusePrimary = c.refusePrimary;
        EXPECT_EQ(TypeSimulator::typeText(sim.platform(), "ten meters"), c.keys.has_value());
        sim.scheduler.advance(0.099);
        EXPECT_TRUE(sim.syntheticKeyboard.posted.empty());
        sim.scheduler.advance(0.001);
        if (!c.keys) {
            EXPECT_TRUE(sim.syntheticKeyboard.posted.empty());
            continue;
        }
        ASSERT_EQ(sim.syntheticKeyboard.posted.size(), 2u);
        const auto& down = sim.syntheticKeyboard.posted[0];
        EXPECT_EQ((Keys{down.keyCode, down.flags}), *c.keys);
        EXPECT_EQ(sim.pasteboard.contents, "ten meters ") << "nothing restored afterwards";
        EXPECT_EQ(sim.pasteboard.primaryContents,
                  c.primary ? std::optional<std::string>("ten meters ") : std::nullopt);
    }
}

// Only text ending in a spaced script gets a space; nothing stays nothing.
TEST(TypeSimulatorTest, TextInASpacedScriptIsPastedWithASpaceAfterIt) {
    EXPECT_EQ(TypeSimulator::textToPaste("Stop."), "Stop. ");
    for (const char* same : {"", "向前走十米。", "already spaced "})
        EXPECT_EQ(TypeSimulator::textToPaste(same), same);
}
