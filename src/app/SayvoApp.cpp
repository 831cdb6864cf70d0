#include "app/SayvoApp.h"

namespace sayvo {

SayvoApp::SayvoApp(const Platform& platform, CloudASRClient& cloud, HotkeyManager& hotkeyManager)
    : appDelegate_(AppDelegate::create(platform, SpeechRecognizer::create(platform, cloud),
                                       hotkeyManager)) {}

void SayvoApp::launch() {
    appDelegate_->applicationDidFinishLaunching();
}

}  // namespace sayvo
