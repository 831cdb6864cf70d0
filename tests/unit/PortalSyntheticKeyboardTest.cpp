#include <gtest/gtest.h>

#include "FakePortals.h"
#include "SimPlatform.h"
#include "paste/TypeSimulator.h"
#include "portal/PortalSyntheticKeyboard.h"

namespace sayvo {
namespace {

// A new session's first keys: a Shift tap (42) some compositors drop, then Ctrl+V.
const std::string kFirstPaste = "+42 -42 +29 +47 -47 -29 ";
constexpr auto kOk = PortalOutcome::success, kCancelled = PortalOutcome::cancelled,
               kFailed = PortalOutcome::failed;

class PortalSyntheticKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        keyboard.setDeliveryFailureHandler([this](const std::string& m) { failures.push_back(m); });
    }
    void paste() {
        TypeSimulator::pasteText(sim.platform(sim.keyboard, keyboard), TypeSimulator::commandV);
    }

    sim::SimPlatform sim;
    sim::FakeRemoteDesktop portal;
    PortalSyntheticKeyboard keyboard{portal, [](std::uint16_t key) -> std::optional<int> {
                                         if (key == KeyCode::v) return 47;
                                         return std::nullopt;
                                     }};
    std::vector<std::string> failures;
};

TEST_F(PortalSyntheticKeyboardTest, TheFirstPasteOpensTheOneSessionAndWaitsForIt) {
    paste();
    EXPECT_EQ(portal.sent, "");
    portal.grant();
    EXPECT_EQ(portal.sent, kFirstPaste);
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
        failures.clear(), portal.sent.clear(), paste(), answer(c.steps);
        EXPECT_EQ(failures, std::vector<std::string>{c.message});
        EXPECT_EQ(keyboard.problem(), c.message);
        // Nothing of it arrives later, and the next paste asks again.
        if (portal.started) portal.started(kOk, RemoteDesktopPortal::keyboardDevice);
        EXPECT_EQ(portal.sent, "");
        paste(), portal.grant();
        EXPECT_EQ(portal.sent, kFirstPaste);
        portal.closed(), portal.started = nullptr;
    }
}

TEST_F(PortalSyntheticKeyboardTest, NoPortalSaysSoAtEachPaste) {
    portal.present = false, paste(), paste();
    EXPECT_EQ(portal.sessions, 0);
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures.back(), PortalSyntheticKeyboard::noPortalText);
    // Nothing of them is sent once a portal is there.
    portal.present = true, paste(), portal.grant();
    EXPECT_EQ(portal.sent, kFirstPaste);
}

}  // namespace
}  // namespace sayvo
