#include <gtest/gtest.h>

#include <QProcess>

#include "FakeServices.h"
#include "platform/linux/services/QtScheduler.h"
#include "platform/linux/x11/X11AccessibilityTrust.h"
#include "platform/linux/x11/X11SyntheticKeyboard.h"

using namespace sayvo;

TEST(X11AccessibilityTrustTest, WithoutXTestTrustIsRefusedOnceAloudAndNothingIsPosted) {
    // A second X server that lacks XTEST, as some locked-down displays do; it
    // outlives the connections to it.
    struct Xvfb : QProcess {
        ~Xvfb() override { terminate(), waitForFinished(3000); }
    } server;
    server.start("Xvfb", {"-displayfd", "1", "-extension", "XTEST", "-nolisten", "tcp"});
    ASSERT_TRUE(server.waitForReadyRead(10000)) << "no second X server";
    const QByteArray ours = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":" + server.readLine().trimmed());
    QtScheduler clock;
    X11KeyboardMonitor monitor{clock};  // opens its own connection there
    qputenv("DISPLAY", ours);

    sim::SourceTranslations source;
    X11AccessibilityTrust trust(monitor, source);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(trust.isProcessTrustedWithOptions({{kTrustedCheckOptionPrompt, true}}));
    EXPECT_FALSE(trust.isProcessTrustedWithOptions({{kTrustedCheckOptionPrompt, true}}));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, missingExtensionWarning(true, false, source)) << "once";
    X11SyntheticKeyboard synthetic(monitor);
    EXPECT_FALSE(synthetic.createEventSource());
    EXPECT_FALSE(synthetic.createKeyboardEvent(nullptr, KeyCode::v, true));
    synthetic.post({KeyCode::v, true, ModifierFlag::command});
}
