#include "platform/linux/x11/X11AccessibilityTrust.h"

#include <cstdio>

#include "platform/linux/StderrLine.h"
#include "platform/linux/x11/X11Extensions.h"

namespace sayvo {

std::string missingExtensionWarning(bool hasXInput2, bool hasXTest,
                                    const Translations& translations) {
    if (hasXInput2 && hasXTest) return {};
    if (hasXInput2)
        return stderrLine(translations.text(SAYVO_TEXT(
            "X11AccessibilityTrust",
            "X 服务器没有 XTEST 扩展：识别的文字无法自动粘贴，会留在剪贴板上等你手动粘贴")));
    // Keys are posted over the connection that needs XInput2: without it pasting stops too.
    return stderrLine(translations.text(
        hasXTest ? SAYVO_TEXT("X11AccessibilityTrust",
                              "X 服务器没有 XInput2 扩展：快捷键只在 Sayvo 自己的窗口中有效，"
                              "识别的文字也无法自动粘贴，会留在剪贴板上等你手动粘贴")
                 : SAYVO_TEXT(
                       "X11AccessibilityTrust",
                       "X 服务器没有 XInput2 和 XTEST 扩展：快捷键只在 Sayvo "
                       "自己的窗口中有效，识别的文字也无法自动粘贴，会留在剪贴板上等你手动粘贴")));
}

bool X11AccessibilityTrust::isProcessTrustedWithOptions(const TrustCheckOptions& options) {
    const bool observes = monitor_.canObserveGlobally();
    const bool posts = monitor_.connection().canPost();
    const bool trusted = observes && posts;
    const auto prompt = options.find(kTrustedCheckOptionPrompt);
    if (!trusted && prompt != options.end() && prompt->second && !told_) {
        told_ = true;
        // Without XInput2 the keyboard connection is never kept, so it cannot tell about XTEST.
        const bool hasXTest = observes ? posts : queryX11Extensions().xtest;
        std::fputs(missingExtensionWarning(observes, hasXTest, translations_).c_str(), stderr);
    }
    return trusted;
}

}  // namespace sayvo
