#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Platform.h"
#include "speech/SpeechRecognizer.h"
#include "ui/FloatingIndicatorView.h"

namespace sayvo {

// The small dark window near the bottom centre that shows a dictation in
// progress. Its window is made at construction and only shown and hidden.
// Thread: main thread only.
class FloatingIndicatorWindow {
public:
    static constexpr double width = 360;
    static constexpr double height = 140;
    static constexpr double bottomMargin = 80;

    FloatingIndicatorWindow(const Platform& platform,
                            std::shared_ptr<SpeechRecognizer> speechRecognizer,
                            std::uint64_t randomSeed);

    // Called when the user presses the indicator's close button.
    std::function<void()> onClose;

    // Fresh view state for the next dictation.
    void updateContent();
    void show();
    void hide();
    bool isVisible() const;
    FloatingIndicatorView& view() { return *view_; }

private:
    void centerWindow();

    Platform platform_;
    std::shared_ptr<SpeechRecognizer> speechRecognizer_;
    std::uint64_t nextSeed_;
    std::unique_ptr<FloatingWindow> window_;
    std::shared_ptr<FloatingIndicatorView> view_;
    // Lets a view's close button outlive this object harmlessly.
    std::shared_ptr<FloatingIndicatorWindow*> self_ =
        std::make_shared<FloatingIndicatorWindow*>(this);
};

}  // namespace sayvo
