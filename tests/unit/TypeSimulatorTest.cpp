#include <gtest/gtest.h>

#include "SimPlatform.h"
#include "paste/TypeSimulator.h"

using namespace sayvo;

TEST(TypeSimulatorTest, PasteTextPostsCommandVAloneAndSkipsOnlyWhatFailedToBeMade) {
    const struct {
        bool source, keyDown, keyUp;
        std::vector<bool> posted;  // key-down or key-up, in order
    } cases[] = {{false, false, false, {true, false}},
                 {true, false, false, {true, false}},  // made without a source
                 {false, true, false, {false}},
                 {false, false, true, {true}}};
    for (const auto& c : cases) {
        sim::SimPlatform sim;
        sim.pasteboard.contents = "already there";
        // The user still holds shift: the paste must not become command-shift-V.
        sim.syntheticKeyboard.userHeldFlags = ModifierFlag::shift | ModifierFlag::function;
        sim.syntheticKeyboard.failSource = c.source;
        sim.syntheticKeyboard.failKeyDown = c.keyDown;
        sim.syntheticKeyboard.failKeyUp = c.keyUp;
        TypeSimulator::pasteText(sim.platform());
        std::vector<bool> posted;
        for (const auto& event : sim.syntheticKeyboard.posted) {
            EXPECT_EQ(event.keyCode, KeyCode::v);
            EXPECT_EQ(event.flags, ModifierFlag::command);
            posted.push_back(event.keyDown);
        }
        EXPECT_EQ(posted, c.posted);
        EXPECT_EQ(sim.pasteboard.contents, "already there");
    }
}

TEST(TypeSimulatorTest, TypeTextWritesThePasteboardAndPastesATenthLater) {
    sim::SimPlatform sim;
    for (const std::string text : {"向前走十米。", ""}) {
        SCOPED_TRACE(text);
        sim.syntheticKeyboard = {};
        sim.pasteboard = {};
        TypeSimulator::typeText(sim.platform(), text);
        EXPECT_EQ(sim.pasteboard.clearCount, 1);
        EXPECT_EQ(sim.pasteboard.contents, text);
        sim.scheduler.advance(0.099);
        EXPECT_TRUE(sim.syntheticKeyboard.posted.empty());
        sim.scheduler.advance(0.001);
        EXPECT_EQ(sim.syntheticKeyboard.posted.size(), 2u);
        EXPECT_EQ(sim.pasteboard.contents, text) << "nothing restored afterwards";
    }
}
