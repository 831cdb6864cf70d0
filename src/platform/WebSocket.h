#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/PlatformError.h"

namespace sayvo {

struct WebSocketMessage {
    enum class Kind { text, binary };
    Kind kind = Kind::text;
    std::string data;  // UTF-8 text, or raw bytes
};

// What a connection's failure came to, as far as the user can act on it.
// Backends sort their own errors into these codes of this domain and keep
// their technical text in the description.
namespace WebSocketError {
inline const std::string domain = "WebSocket";
constexpr long keyRefused = 1;   // the handshake was answered 401 or 403
constexpr long unreachable = 2;  // no name, no route, refused, timed out, closed before opening
constexpr long untrusted = 3;    // the TLS handshake failed
constexpr long closed = 4;       // an open connection ended
constexpr long other = 5;
}  // namespace WebSocketError

// Notifications of one connection, delivered on its callback queue.
struct WebSocketDelegate {
    std::function<void()> onOpen;
    std::function<void(int closeCode)> onClose;
};

// One WebSocket connection.
// Thread: every method may be called from any thread (sends come from the
// audio thread too) and never blocks on the network. Completions and delegate
// notifications of a task come one at a time, in order, on that task's
// serial callback queue — never on the caller's stack.
// Failure: a failed open, a lost connection or a cancel ends the pending
// receive with an error; sends after that complete with an error.
class WebSocketTask {
public:
    using SendCompletion = std::function<void(std::optional<PlatformError>)>;
    using ReceiveCompletion =
        std::function<void(std::optional<WebSocketMessage>, std::optional<PlatformError>)>;

    virtual ~WebSocketTask() = default;
    // Starts the opening handshake in the background.
    virtual void resume() = 0;
    virtual void send(WebSocketMessage message, SendCompletion completion) = 0;
    // Delivers exactly the next message, or an error.
    virtual void receive(ReceiveCompletion completion) = 0;
    // Closes with the given close code and no reason.
    virtual void cancel(int closeCode) = 0;
};

struct WebSocketRequest {
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    double timeoutSeconds = 60;
};

// Makes WebSocket connections. Thread: main thread.
class WebSocketService {
public:
    virtual ~WebSocketService() = default;
    // Never null; a connection that cannot be made fails through its receive.
    virtual std::shared_ptr<WebSocketTask> makeWebSocketTask(const WebSocketRequest& request,
                                                             WebSocketDelegate delegate) = 0;
};

}  // namespace sayvo
