#include "cloud/CloudFailure.h"

#include "platform/WebSocket.h"

namespace sayvo {

Text cloudFailureMessage(const PlatformError& error) {
    if (error.domain == WebSocketError::domain) {
        switch (error.code) {
            case WebSocketError::keyRefused:
                return SAYVO_TEXT("CloudFailure", "API Key 无效或已失效，请在设置中检查 API Key");
            case WebSocketError::unreachable:
                return SAYVO_TEXT("CloudFailure", "无法连接识别服务，请检查网络连接");
            case WebSocketError::untrusted:
                return SAYVO_TEXT("CloudFailure",
                                  "无法安全连接识别服务（证书不受信任），请检查网络或代理设置");
            case WebSocketError::closed:
                return SAYVO_TEXT("CloudFailure", "与识别服务的连接已断开，请检查网络后重试");
            default:
                break;
        }
    }
    return SAYVO_TEXT("CloudFailure", "识别服务出错，请稍后重试");
}

}  // namespace sayvo
