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
    sim::FakeHostRegistry registry;
    PortalAppRegistration registration{registry, "app"};
    PortalSyntheticKeyboard keyboard{portal, registration, sim.preferences,
                                     [](std::uint16_t key) -> std::optional<int> {
                                         if (key == KeyCode::v) return 47;
                                         return std::nullopt;
                                     }};
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
        {true, "t1", kFailed, "", "t1", "", {PortalSyntheticKeyboard::grantNotRestoredText}},
        {true, nullptr, kCancelled, "", "", nullptr, {PortalSyntheticKeyboard::refusedText}},
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
    EXPECT_EQ(failures.back(), PortalSyntheticKeyboard::noPortalText);
    // Nothing of them is sent once a portal is there.
    portal.present = true, paste(), portal.grant();
    EXPECT_EQ(portal.sent, kFirstPaste);
}

}  // namespace
}  // namespace sayvo
