#include "platform/linux/services/QtWebSocketService.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QMetaObject>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>
#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <unordered_set>
#include <utility>

namespace sayvo {

namespace {

using SendCompletion = WebSocketTask::SendCompletion;
using ReceiveCompletion = WebSocketTask::ReceiveCompletion;

long causeOf(QAbstractSocket::SocketError code, const QString& description) {
    static const QRegularExpression refusal(QStringLiteral("status code: 40[13]\\b"));
    if (description.contains(refusal)) return WebSocketError::keyRefused;
    switch (code) {
        case QAbstractSocket::ConnectionRefusedError:
        case QAbstractSocket::HostNotFoundError:
        case QAbstractSocket::SocketTimeoutError:
        case QAbstractSocket::NetworkError:
        case QAbstractSocket::TemporaryError:
        case QAbstractSocket::ProxyConnectionRefusedError:
        case QAbstractSocket::ProxyNotFoundError:
            return WebSocketError::unreachable;
        case QAbstractSocket::SslHandshakeFailedError:
        case QAbstractSocket::SslInternalError:
        case QAbstractSocket::SslInvalidUserDataError:
            return WebSocketError::untrusted;
        case QAbstractSocket::RemoteHostClosedError:
            return WebSocketError::closed;
        default:
            return WebSocketError::other;
    }
}

PlatformError makeError(QAbstractSocket::SocketError code, QString description) {
    // Qt prefixes some texts with its internal function name, which means
    // nothing to whoever reads the log.
    static const QRegularExpression qtFunction(QStringLiteral("^\\w+::\\w+: "));
    description.remove(qtFunction);
    return {WebSocketError::domain, causeOf(code, description), description.toStdString()};
}

// One connection. Thread: created anywhere, then used and destroyed only on
// the callback thread.
class WebSocketConnection final : public QObject {
public:
    WebSocketConnection(WebSocketRequest request, WebSocketDelegate delegate)
        : request_(std::move(request)),
          delegate_(std::move(delegate)),
          socket_(new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this)),
          handshakeTimer_(new QTimer(this)) {
        // Qt's defaults (about 2 GiB) let a peer exhaust memory.
        socket_->setMaxAllowedIncomingMessageSize(QtWebSocketService::maxIncomingBytes);
        socket_->setMaxAllowedIncomingFrameSize(QtWebSocketService::maxIncomingBytes);
        handshakeTimer_->setSingleShot(true);
        handshakeTimer_->setTimerType(Qt::PreciseTimer);
        connect(handshakeTimer_, &QTimer::timeout, this, [this] {
            end(makeError(QAbstractSocket::SocketTimeoutError,
                          QStringLiteral("The opening handshake timed out")));
            socket_->abort();
        });
        connect(socket_, &QWebSocket::connected, this, [this] { onConnected(); });
        connect(socket_, &QWebSocket::disconnected, this, [this] { onDisconnected(); });
        const auto failed = [this](QAbstractSocket::SocketError error) {
            end(makeError(error, socket_->errorString()));
        };
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
        connect(socket_, &QWebSocket::errorOccurred, this, failed);
#else  // Debian 12's Qt 6.4 has only the signal that 6.5 deprecates
        connect(socket_, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
                failed);
#endif
        connect(socket_, &QWebSocket::textMessageReceived, this, [this](const QString& text) {
            arrive({WebSocketMessage::Kind::text, text.toStdString()});
        });
        connect(socket_, &QWebSocket::binaryMessageReceived, this, [this](const QByteArray& data) {
            arrive({WebSocketMessage::Kind::binary, data.toStdString()});
        });
    }

    ~WebSocketConnection() override {
        // No notification from a socket that is going away with us.
        disconnect(socket_, nullptr, this, nullptr);
        end(makeError(QAbstractSocket::OperationError,
                      QStringLiteral("The WebSocket connection was released")));
        if (socket_->state() == QAbstractSocket::ConnectedState) {
            socket_->close(QWebSocketProtocol::CloseCodeGoingAway);
        }
    }

    void resume() {
        if (state_ != State::idle) return;
        state_ = State::connecting;
        QNetworkRequest request(QUrl(QString::fromStdString(request_.url)));
        for (const auto& [name, value] : request_.headers) {
            request.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
        }
        if (request_.timeoutSeconds > 0) {
            handshakeTimer_->start(
                static_cast<int>(std::ceil(std::min(request_.timeoutSeconds, 2e6) * 1000)));
        }
        // An invalid URL fails right here, through the error signal.
        socket_->open(request);
    }

    void send(WebSocketMessage message, SendCompletion completion) {
        switch (state_) {
            case State::idle:
            case State::connecting:
                outbox_.emplace_back(std::move(message), std::move(completion));
                return;
            case State::open:
                write(message, std::move(completion));
                return;
            case State::closed:
                if (completion) completion(failure_);
                return;
        }
    }

    void receive(ReceiveCompletion completion) {
        if (pendingReceive_) {
            if (completion) {
                completion(std::nullopt, makeError(QAbstractSocket::OperationError,
                                                   QStringLiteral("A receive is already pending")));
            }
            return;
        }
        pendingReceive_ = std::move(completion);
        deliver();
    }

    void cancel(int closeCode) {
        const State before = state_;
        end(makeError(QAbstractSocket::OperationError,
                      QStringLiteral("The connection was cancelled")));
        if (before == State::open) {
            socket_->close(static_cast<QWebSocketProtocol::CloseCode>(closeCode));
        } else if (before == State::connecting) {
            socket_->abort();
        }
    }

private:
    enum class State { idle, connecting, open, closed };

    void onConnected() {
        handshakeTimer_->stop();
        if (state_ != State::connecting) return;
        state_ = State::open;
        opened_ = true;
        if (delegate_.onOpen) delegate_.onOpen();
        // The delegate may have cancelled.
        while (state_ == State::open && !outbox_.empty()) {
            auto [message, completion] = std::move(outbox_.front());
            outbox_.pop_front();
            write(message, std::move(completion));
        }
    }

    void onDisconnected() {
        // A connection that never opened ends for the socket's own reason (a
        // refused connection), which Qt may report just after this signal.
        if (!opened_ && socket_->error() != QAbstractSocket::UnknownSocketError)
            return end(makeError(socket_->error(), socket_->errorString()));
        // Closed before it ever opened: as good as no service there.
        const auto cause = opened_ ? QAbstractSocket::RemoteHostClosedError
                                   : QAbstractSocket::ConnectionRefusedError;
        QString text = QStringLiteral("The connection was closed (close code %1)")
                           .arg(static_cast<int>(socket_->closeCode()));
        if (!socket_->closeReason().isEmpty())
            text += QStringLiteral(": ") + socket_->closeReason();
        if (opened_ && !closeReported_) {
            closeReported_ = true;
            if (delegate_.onClose) delegate_.onClose(static_cast<int>(socket_->closeCode()));
        }
        end(makeError(cause, text));
    }

    void arrive(WebSocketMessage message) {
        inbox_.push_back(std::move(message));
        deliver();
    }

    void write(const WebSocketMessage& message, SendCompletion completion) {
        const qint64 written =
            message.kind == WebSocketMessage::Kind::text
                ? socket_->sendTextMessage(QString::fromStdString(message.data))
                : socket_->sendBinaryMessage(QByteArray::fromStdString(message.data));
        std::optional<PlatformError> error;
        if (!message.data.empty() && written <= 0) {
            error = makeError(QAbstractSocket::OperationError, socket_->errorString());
        }
        if (completion) completion(error);
    }

    // The connection is over for good: waiting sends fail, and so does the
    // pending receive once the messages that came before are taken. The
    // first reason wins.
    void end(PlatformError error) {
        if (state_ == State::closed) return;
        state_ = State::closed;
        handshakeTimer_->stop();
        failure_ = std::move(error);
        auto outbox = std::move(outbox_);
        outbox_.clear();
        for (auto& [message, completion] : outbox) {
            if (completion) completion(failure_);
        }
        deliver();
    }

    void deliver() {
        if (!pendingReceive_) return;
        if (!inbox_.empty()) {
            auto message = std::move(inbox_.front());
            inbox_.pop_front();
            std::exchange(pendingReceive_, nullptr)(std::move(message), std::nullopt);
        } else if (state_ == State::closed) {
            std::exchange(pendingReceive_, nullptr)(std::nullopt, failure_);
        }
    }

    WebSocketRequest request_;
    WebSocketDelegate delegate_;
    QWebSocket* socket_;      // child
    QTimer* handshakeTimer_;  // child
    State state_ = State::idle;
    bool opened_ = false;
    bool closeReported_ = false;
    std::optional<PlatformError> failure_;  // set once closed
    std::deque<WebSocketMessage> inbox_;
    ReceiveCompletion pendingReceive_;
    std::deque<std::pair<WebSocketMessage, SendCompletion>> outbox_;
};

}  // namespace

// What tasks and the callback thread share. It owns the connections: one is
// alive exactly while it is in `connections` (its task or the ending thread
// takes it out to delete it), so posting to it under the mutex is safe (Qt
// drops the events of an object deleted later).
struct QtWebSocketService::Loop {
    std::mutex mutex;
    std::unordered_set<WebSocketConnection*> connections;
};

namespace {

class CallbackThread final : public QThread {
public:
    explicit CallbackThread(std::shared_ptr<QtWebSocketService::Loop> loop)
        : loop_(std::move(loop)) {
        setObjectName(QStringLiteral("WebSocket callbacks"));
    }

protected:
    void run() override {
        exec();
        std::unordered_set<WebSocketConnection*> left;
        {
            std::lock_guard lock(loop_->mutex);
            left.swap(loop_->connections);
        }
        // Outside the lock: their completions may call the tasks again.
        for (WebSocketConnection* connection : left) delete connection;
        // Tasks released while the loop was ending.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private:
    std::shared_ptr<QtWebSocketService::Loop> loop_;
};

class QtWebSocketTask final : public WebSocketTask {
public:
    QtWebSocketTask(std::shared_ptr<QtWebSocketService::Loop> loop, WebSocketConnection* connection)
        : loop_(std::move(loop)), connection_(connection) {}

    ~QtWebSocketTask() override {
        std::lock_guard lock(loop_->mutex);
        // Under the lock, so the deletion is queued before the loop can end.
        if (loop_->connections.erase(connection_) != 0) connection_->deleteLater();
    }

    void resume() override {
        post([](WebSocketConnection& c) { c.resume(); });
    }
    void send(WebSocketMessage message, SendCompletion completion) override {
        post([message = std::move(message),
              completion = std::move(completion)](WebSocketConnection& c) mutable {
            c.send(std::move(message), std::move(completion));
        });
    }
    void receive(ReceiveCompletion completion) override {
        post([completion = std::move(completion)](WebSocketConnection& c) mutable {
            c.receive(std::move(completion));
        });
    }
    void cancel(int closeCode) override {
        post([closeCode](WebSocketConnection& c) { c.cancel(closeCode); });
    }

private:
    template <typename Work>
    void post(Work work) {
        std::lock_guard lock(loop_->mutex);
        if (!loop_->connections.contains(connection_)) return;
        WebSocketConnection* connection = connection_;
        QMetaObject::invokeMethod(
            connection, [connection, work = std::move(work)]() mutable { work(*connection); },
            Qt::QueuedConnection);
    }

    std::shared_ptr<QtWebSocketService::Loop> loop_;
    WebSocketConnection* const connection_;
};

}  // namespace

QtWebSocketService::QtWebSocketService()
    : loop_(std::make_shared<Loop>()), thread_(std::make_unique<CallbackThread>(loop_)) {
    thread_->start();
}

QtWebSocketService::~QtWebSocketService() {
    thread_->quit();
    thread_->wait();
}

std::shared_ptr<WebSocketTask> QtWebSocketService::makeWebSocketTask(
    const WebSocketRequest& request, WebSocketDelegate delegate) {
    auto connection = std::make_unique<WebSocketConnection>(request, std::move(delegate));
    connection->moveToThread(thread_.get());
    WebSocketConnection* const raw = connection.get();
    {
        std::lock_guard lock(loop_->mutex);
        loop_->connections.insert(connection.release());
    }
    return std::make_shared<QtWebSocketTask>(loop_, raw);
}

}  // namespace sayvo
