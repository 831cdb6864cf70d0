#include <gtest/gtest.h>

#include <QProcess>

#include "Spin.h"
#include "platform/linux/QtPasteboard.h"

namespace sayvo {
namespace {

// Reads the CLIPBOARD selection as another application would, while our event
// loop keeps serving it.
std::string readByAnotherClient() {
    QProcess xclip;
    xclip.start("xclip", {"-o", "-selection", "clipboard"});
    EXPECT_TRUE(spinUntil([&] { return xclip.state() == QProcess::NotRunning; }, 10000));
    return xclip.readAllStandardOutput().toStdString();
}

TEST(QtPasteboardTest, WrittenTextIsServedToOtherApplicationsUntilTheNextWrite) {
    QtPasteboard pasteboard;
    for (const std::string text : {"go forward ten meters 向前走十米", "second"}) {
        pasteboard.clearContents();
        ASSERT_TRUE(pasteboard.setString(text));
        EXPECT_EQ(pasteboard.string(), text);
        EXPECT_EQ(readByAnotherClient(), text);
    }
}

}  // namespace
}  // namespace sayvo
