#include <gtest/gtest.h>

#include "SimPlatform.h"
#include "app/TypeSimulator.h"

namespace sayvo {
namespace {

using Posted = sim::FakeSyntheticKeyboard::Posted;

class TypeSimulatorTest : public ::testing::Test {
protected:
    const std::vector<Posted>& posted() const { return sim.syntheticKeyboard.posted; }
    static void expectCommandV(const Posted& p, bool keyDown, std::optional<int> sourceState) {
        EXPECT_EQ(p.event.keyCode, 9);
        EXPECT_EQ(p.event.keyDown, keyDown);
        EXPECT_EQ(p.event.flags, ModifierFlag::command) << "command flag only";
        EXPECT_EQ(p.tap, EventTapLocation::sessionEventTap);
        EXPECT_EQ(p.sourceState, sourceState);
    }
    sim::SimPlatform sim;
};

TEST_F(TypeSimulatorTest, PasteTextPostsCommandVDownThenUpAtOnce) {
    sim.pasteboard.contents = "already there";
    // The user still holds shift: the paste must not become command-shift-V.
    sim.syntheticKeyboard.userHeldFlags = ModifierFlag::shift | ModifierFlag::function;
    TypeSimulator::pasteText(sim.platform());
    ASSERT_EQ(posted().size(), 2u);
    expectCommandV(posted()[0], true, EventSourceStateID::combinedSessionState);
    expectCommandV(posted()[1], false, EventSourceStateID::combinedSessionState);
    EXPECT_EQ(sim.pasteboard.clearCount, 0);
    EXPECT_TRUE(sim.pasteboard.writes.empty());
    EXPECT_EQ(sim.pasteboard.contents, "already there");
}

TEST_F(TypeSimulatorTest, FailedCreationsAreSkippedAndTheRestStillPosted) {
    const struct {
        bool source, keyDown, keyUp;
        std::vector<bool> posted;                      // key-down or key-up, in order
    } cases[] = {{true, false, false, {true, false}},  // made without a source
                 {false, true, false, {false}},
                 {false, false, true, {true}}};
    for (const auto& c : cases) {
        sim.syntheticKeyboard = {};
        sim.syntheticKeyboard.failSource = c.source;
        sim.syntheticKeyboard.failKeyDown = c.keyDown;
        sim.syntheticKeyboard.failKeyUp = c.keyUp;
        TypeSimulator::pasteText(sim.platform());
        ASSERT_EQ(posted().size(), c.posted.size());
        for (std::size_t i = 0; i < c.posted.size(); ++i) {
            expectCommandV(posted()[i], c.posted[i], c.source ? std::nullopt : std::optional(0));
        }
    }
}

TEST_F(TypeSimulatorTest, TypeTextWritesThePasteboardAndPastesATenthLater) {
    for (const std::string text : {"向前走十米。", ""}) {
        SCOPED_TRACE(text);
        sim.syntheticKeyboard = {};
        sim.pasteboard.contents = "older";
        const int clearsBefore = sim.pasteboard.clearCount;
        TypeSimulator::typeText(sim.platform(), text);
        EXPECT_EQ(sim.pasteboard.clearCount, clearsBefore + 1);
        EXPECT_EQ(sim.pasteboard.contents, text);
        sim.scheduler.advance(0.099);
        EXPECT_TRUE(posted().empty());
        sim.scheduler.advance(0.001);
        ASSERT_EQ(posted().size(), 2u);
        EXPECT_TRUE(posted()[0].event.keyDown);
        EXPECT_FALSE(posted()[1].event.keyDown);
        EXPECT_EQ(sim.pasteboard.contents, text) << "nothing restored afterwards";
    }
}

}  // namespace
}  // namespace sayvo
