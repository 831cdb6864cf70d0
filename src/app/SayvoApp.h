#pragma once

#include <memory>

#include "app/AppDelegate.h"

namespace sayvo {

// The application entry: makes the one AppDelegate with the platform it is
// given and launches it. Owns nothing else.
// Thread: main thread.
class SayvoApp {
public:
    SayvoApp(const Platform& platform, CloudASRClient& cloud, HotkeyManager& hotkeyManager);
    void launch();
    AppDelegate& appDelegate() { return *appDelegate_; }

private:
    std::shared_ptr<AppDelegate> appDelegate_;
};

}  // namespace sayvo
