#pragma once

#include <functional>
#include <memory>

#include "platform/ApplicationShell.h"
#include "speech/SpeechRecognizer.h"

namespace sayvo {

// The small dark window near the bottom centre that shows a dictation in
// progress. Its window is made at construction and only shown and hidden.
// Thread: main thread only.
class FloatingIndicatorWindow {
public:
    static constexpr double width = 360;
    static constexpr double height = 140;
    static constexpr double bottomMargin = 80;

    FloatingIndicatorWindow(ApplicationShell& shell,
                            std::shared_ptr<SpeechRecognizer> speechRecognizer);

    // Called when the user presses the indicator's close button.
    std::function<void()> onClose;

    // Fresh view state for the next dictation.
    void updateContent();
    void show();
    void hide();
    bool isVisible() const;

private:
    void centerWindow();

    ApplicationShell& shell_;
    std::shared_ptr<SpeechRecognizer> speechRecognizer_;
    std::unique_ptr<FloatingWindow> window_;
};

}  // namespace sayvo
