// Needs a compositor with wlr-data-control on $WAYLAND_DISPLAY (the test
// script's headless KWin) and wl-clipboard as the other clients.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "platform/linux/wayland/WlrDataControlPasteboard.h"

using namespace sayvo;

namespace {

struct Outcome {
    int exitCode = -1;  // -1: it did not finish in time
    std::string out;
};

// Runs a wl-clipboard tool while our loop goes on serving the clipboard.
Outcome run(const QStringList& command, std::chrono::seconds limit = std::chrono::seconds(20)) {
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    process.start(command.first(), command.mid(1));
    if (process.waitForStarted()) loop.exec();
    if (process.state() != QProcess::NotRunning)
        return process.kill(), process.waitForFinished(), Outcome{};
    return {process.exitCode(), process.readAllStandardOutput().toStdString()};
}

class WlrDataControlPasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            GTEST_SKIP() << "WAYLAND_DISPLAY is not set: no compositor to talk to";
        std::string whyNot;
        pasteboard = WlrDataControlPasteboard::connect(&whyNot);
        ASSERT_TRUE(pasteboard) << whyNot;
    }
    std::unique_ptr<WlrDataControlPasteboard> pasteboard;
};

}  // namespace

TEST_F(WlrDataControlPasteboardTest, UnfocusedWritesReachOtherClientsWhileAStalledReaderWaits) {
    std::string large;
    while (large.size() < (1 << 20)) large += "第" + std::to_string(large.size()) + " line ✓\n";
    // A reader that never reads: wl-paste into a pipe nobody empties.
    int stalled[2];
    ASSERT_EQ(::pipe2(stalled, O_CLOEXEC), 0);
    QProcess staller;
    staller.setChildProcessModifier([&] { ::dup2(stalled[1], STDOUT_FILENO); });
    for (const std::string& text : {std::string("hello"), std::string("语音输入 — ✓ 🎤"), large}) {
        SCOPED_TRACE(text.substr(0, 20));
        ASSERT_TRUE(pasteboard->setString(text));
        EXPECT_TRUE(pasteboard->string() == text);
        if (text == large) {
            staller.start("wl-paste", {"--no-newline"});
            pollfd p{stalled[0], POLLIN, 0};  // our transfer to it has begun
            for (int i = 0; i < 200 && ::poll(&p, 1, 0) == 0; ++i) QTest::qWait(50);
            ASSERT_TRUE(p.revents & POLLIN);
        }
        QElapsedTimer clock;
        clock.start();
        const Outcome pasted = run({"wl-paste", "--no-newline"});
        if (text == large) std::printf("MEASURE: wlr_paste_1_mb = %lld ms\n", clock.elapsed());
        EXPECT_EQ(pasted.exitCode, 0);
        EXPECT_TRUE(pasted.out == text) << pasted.out.size() << " of " << text.size() << " bytes";
    }
    staller.kill(), staller.waitForFinished(), ::close(stalled[0]), ::close(stalled[1]);
}

TEST_F(WlrDataControlPasteboardTest, AnotherClientsCopyReplacesOursAndIsReadOnlyAsPlainText) {
    const struct {
        QStringList copy;
        std::optional<std::string> read;
    } cases[] = {{{"wl-copy", "--", "别的程序复制的文字"}, "别的程序复制的文字"},
                 {{"wl-copy", "--type", "image/png", "not text"}, std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.copy.join(' ').toStdString());
        ASSERT_TRUE(pasteboard->setString("ours"));
        ASSERT_EQ(run(c.copy).exitCode, 0);
        EXPECT_EQ(pasteboard->string(), c.read);
        pasteboard->clearContents();  // not ours any more: left alone
        EXPECT_EQ(pasteboard->string(), c.read);
    }
    ASSERT_TRUE(pasteboard->setString("to be cleared"));
    pasteboard->clearContents();
    EXPECT_EQ(pasteboard->string(), std::nullopt);
    // KWin 5.27 tells a new client nothing at all about an empty clipboard,
    // so wl-paste waits there instead of failing.
    const Outcome pasted = run({"wl-paste", "--no-newline"}, std::chrono::seconds(3));
    EXPECT_NE(pasted.exitCode, 0);
    EXPECT_EQ(pasted.out, "");
    // Terminals paste the primary selection: it is written apart from the clipboard.
    ASSERT_TRUE(pasteboard->hasPrimarySelection());
    ASSERT_TRUE(pasteboard->setString("clipboard") && pasteboard->setPrimarySelection("primary"));
    EXPECT_EQ(run({"wl-paste", "--primary", "--no-newline"}).out, "primary");
    EXPECT_EQ(run({"wl-paste", "--no-newline"}).out, "clipboard");
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
