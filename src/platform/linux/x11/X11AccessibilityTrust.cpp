#include "platform/linux/x11/X11AccessibilityTrust.h"

#include <cstdio>

#include "platform/linux/StderrLine.h"
#include "platform/linux/x11/X11Extensions.h"

namespace sayvo {

std::string missingExtensionWarning(bool hasXInput2, bool hasXTest) {
    if (hasXInput2 && hasXTest) return {};
    const std::string missing = hasXInput2 ? "XTEST" : hasXTest ? "XInput2" : "XInput2 和 XTEST";
    // Keys are posted over the connection that needs XInput2: without it pasting stops too.
    const std::string cost = hasXInput2 ? "识别的文字无法自动粘贴，会留在剪贴板上等你手动粘贴"
                                        : "快捷键只在 Sayvo 自己的窗口中有效，识别的文字也无法"
                                          "自动粘贴，会留在剪贴板上等你手动粘贴";
    return stderrLine("X 服务器没有 " + missing + " 扩展：" + cost);
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
        std::fputs(missingExtensionWarning(observes, hasXTest).c_str(), stderr);
    }
    return trusted;
}

}  // namespace sayvo
