#include <gtest/gtest.h>

#include "platform/linux/ui/QtPopover.h"

using namespace sayvo;

TEST(QtPopoverTest, ThePanelOpensBesideItsAnchorOnTheSideWithMoreRoom) {
    const QRect area(0, 30, 1000, 770);  // a top panel of 30
    const struct {
        QRect tray;
        QPoint pointer;
        QPoint topLeft;
    } cases[] = {
        {{}, {100, 40}, {100, 44}},                // pointer top left
        {{}, {999, 799}, {739, 495}},              // in a corner: the panel stays whole
        {{980, 5, 20, 20}, {0, 0}, {740, 30}},     // tray item at the top right
        {{500, 780, 20, 20}, {0, 0}, {379, 476}},  // tray item at the bottom
    };
    for (const auto& c : cases) {
        const QRect frame = panelFrame(QSize(260, 300), c.tray, c.pointer, area);
        EXPECT_EQ(frame.topLeft(), c.topLeft);
        EXPECT_TRUE(area.contains(frame));
    }
}
