#include "ui/FloatingIndicatorWindow.h"

namespace sayvo {

FloatingIndicatorWindow::FloatingIndicatorWindow(ApplicationShell& shell,
                                                 std::shared_ptr<SpeechRecognizer> speechRecognizer)
    : shell_(shell),
      speechRecognizer_(std::move(speechRecognizer)),
      window_(shell_.makeFloatingWindow(SurfaceContent::floatingIndicator)) {
    window_->setFrame({0, 0, width, height});
    // The close button reaches whatever onClose is at the moment it is pressed.
    window_->onCloseRequested = [this] {
        if (onClose) onClose();
    };
    centerWindow();
}

void FloatingIndicatorWindow::updateContent() {
    window_->reloadContent();
}

void FloatingIndicatorWindow::show() {
    centerWindow();
    window_->show();
}

void FloatingIndicatorWindow::hide() {
    window_->hide();
}

bool FloatingIndicatorWindow::isVisible() const {
    return window_->isVisible();
}

void FloatingIndicatorWindow::centerWindow() {
    const Rect visible = shell_.visibleScreenFrame();
    if (visible.width <= 0 || visible.height <= 0) return;
    Rect frame = window_->frame();
    frame.x = visible.x + visible.width / 2 - frame.width / 2;
    // Screen y grows downwards here: the lower edge sits the margin above the
    // bottom of the visible area.
    frame.y = visible.y + visible.height - bottomMargin - frame.height;
    window_->setFrame(frame);
}

}  // namespace sayvo
