#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include "platform/linux/QtPasteboard.h"

namespace sayvo {
namespace {

// Reads the CLIPBOARD selection the way another application would, while our
// event loop keeps serving it.
std::string readClipboardFromAnotherClient() {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    while (!xclip.waitForFinished(10)) {
        QCoreApplication::processEvents();
        if (xclip.state() == QProcess::NotRunning) break;
    }
    return QString::fromUtf8(xclip.readAllStandardOutput()).toStdString();
}

TEST(QtPasteboard, WrittenTextIsServedToOtherApplications) {
    QtPasteboard pasteboard;
    const std::string text = "go forward ten meters 向前走十米";
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.setString(text));
    EXPECT_EQ(pasteboard.string(), text);
    EXPECT_EQ(readClipboardFromAnotherClient(), text);

    // A later write replaces it for everyone.
    pasteboard.clearContents();
    pasteboard.setString("second");
    EXPECT_EQ(readClipboardFromAnotherClient(), "second");
}

}  // namespace
}  // namespace sayvo
