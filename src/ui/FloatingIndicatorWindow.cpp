#include "ui/FloatingIndicatorWindow.h"

namespace sayvo {

FloatingIndicatorWindow::FloatingIndicatorWindow(const Platform& platform,
                                                 std::shared_ptr<SpeechRecognizer> speechRecognizer,
                                                 std::uint64_t randomSeed)
    : platform_(platform),
      speechRecognizer_(std::move(speechRecognizer)),
      nextSeed_(randomSeed),
      window_(platform_.shell.makeFloatingWindow()) {
    // Placed at every show(), so a window dragged away comes back.
    window_->setFrame({0, 0, width, height});
    updateContent();
}

void FloatingIndicatorWindow::updateContent() {
    // The close button reaches whatever onClose is at the moment it is pressed.
    std::weak_ptr<FloatingIndicatorWindow*> weak = self_;
    auto forwardClose = [weak] {
        auto self = weak.lock();
        if (self && (*self)->onClose) (*self)->onClose();
    };
    view_ = FloatingIndicatorView::create(platform_, speechRecognizer_, std::move(forwardClose),
                                          nextSeed_++);
    view_->setShown(window_->isVisible());
    window_->setContent(view_);
}

void FloatingIndicatorWindow::show() {
    centerWindow();
    window_->show();
    view_->setShown(true);
}

void FloatingIndicatorWindow::hide() {
    window_->hide();
    view_->setShown(false);
}

bool FloatingIndicatorWindow::isVisible() const {
    return window_->isVisible();
}

void FloatingIndicatorWindow::centerWindow() {
    const Rect visible = platform_.shell.visibleScreenFrame();
    if (visible.width <= 0 || visible.height <= 0) return;
    Rect frame = window_->frame();
    frame.x = visible.x + visible.width / 2 - frame.width / 2;
    // Screen y grows downwards here: the lower edge sits the margin above the
    // bottom of the visible area.
    frame.y = visible.y + visible.height - bottomMargin - frame.height;
    window_->setFrame(frame);
}

}  // namespace sayvo
