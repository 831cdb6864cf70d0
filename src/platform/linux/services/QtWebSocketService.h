#pragma once

#include <memory>

#include "platform/WebSocket.h"

class QThread;

namespace sayvo {

// WebSocket connections on QtWebSockets. Every connection is a QWebSocket on
// one callback thread owned by the service (its own event loop): that thread
// is the serial callback queue of all tasks. Task methods hand their work to
// it as queued calls, so they never block and never run a completion on the
// caller's stack.
//
// Behaviour the logic may rely on:
// - Sends made before the connection is open (before resume() too) wait and
//   go out in order once it opens; if the open fails they complete with its
//   error. The first command can then be sent before a slow TLS handshake
//   ends.
// - Incoming messages wait in order until a receive asks for them; a closed
//   connection still hands out what arrived before it closed, then the error.
//   One receive may be pending; a second one fails at once.
// - The handshake carries the request's headers, must end within
//   request.timeoutSeconds (no limit when not positive), and TLS peers are
//   always verified. An incoming message or frame above 1 MiB closes the
//   connection (close code 1009) instead of being buffered.
// - onOpen once connected; onClose(closeCode) once a connection that had
//   opened is gone, whoever closed it.
// - A send completes once the socket has taken the message, not when the
//   peer has it.
// Errors: domain "QtWebSockets", code a QAbstractSocket::SocketError value.
// Socket and handshake failures carry Qt's code and text (a refused key or
// connection: ConnectionRefusedError (0), "Unhandled http status code: 401
// (Unauthorized)." or "Connection refused"); a handshake timeout is
// SocketTimeoutError (5); a connection that closed is RemoteHostClosedError
// (1); a cancel, a second receive and a stopped service are OperationError
// (19). Once the connection has ended, a send fails with the reason it ended.
//
// Thread: construct, makeWebSocketTask and destroy on the main thread (after
// the QCoreApplication exists). Task methods: any thread. Completions and
// delegate calls: the callback thread. Destroying the service ends pending
// receives and waiting sends with an error on the callback thread and stops
// it; calls still queued then, and calls on tasks that outlive it, do nothing
// and never complete, because no queue is left to complete them on.
class QtWebSocketService final : public WebSocketService {
public:
    QtWebSocketService();
    ~QtWebSocketService() override;
    QtWebSocketService(const QtWebSocketService&) = delete;
    QtWebSocketService& operator=(const QtWebSocketService&) = delete;

    std::shared_ptr<WebSocketTask> makeWebSocketTask(const WebSocketRequest& request,
                                                     WebSocketDelegate delegate) override;

    // The largest incoming message and frame accepted.
    static constexpr long long maxIncomingBytes = 1 << 20;

    struct Loop;

private:
    std::shared_ptr<Loop> loop_;
    std::unique_ptr<QThread> thread_;
};

}  // namespace sayvo
