#include <gtest/gtest.h>

#include "SimPlatform.h"
#include "app/TypeSimulator.h"

namespace sayvo {
namespace {

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
        const auto& posted = sim.syntheticKeyboard.posted;
        ASSERT_EQ(posted.size(), c.posted.size());
        for (std::size_t i = 0; i < c.posted.size(); ++i) {
            EXPECT_EQ(posted[i].keyCode, KeyCode::v);
            EXPECT_EQ(posted[i].keyDown, c.posted[i]);
            EXPECT_EQ(posted[i].flags, ModifierFlag::command);
        }
        EXPECT_TRUE(sim.pasteboard.writes.empty());
        EXPECT_EQ(sim.pasteboard.contents, "already there");
    }
}

TEST(TypeSimulatorTest, TypeTextWritesThePasteboardAndPastesATenthLater) {
    sim::SimPlatform sim;
    for (const std::string text : {"向前走十米。", ""}) {
        SCOPED_TRACE(text);
        sim.syntheticKeyboard = {};
        sim.pasteboard.contents = "older";
        const int clearsBefore = sim.pasteboard.clearCount;
        TypeSimulator::typeText(sim.platform(), text);
        EXPECT_EQ(sim.pasteboard.clearCount, clearsBefore + 1);
        EXPECT_EQ(sim.pasteboard.contents, text);
        sim.scheduler.advance(0.099);
        EXPECT_TRUE(sim.syntheticKeyboard.posted.empty());
        sim.scheduler.advance(0.001);
        EXPECT_EQ(sim.syntheticKeyboard.posted.size(), 2u);
        EXPECT_EQ(sim.pasteboard.contents, text) << "nothing restored afterwards";
    }
}

}  // namespace
}  // namespace sayvo
