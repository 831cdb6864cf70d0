#include "cloud/AliyunASR.h"

#include <utility>

#include "cloud/CloudFailure.h"
#include "cloud/CloudProtocol.h"
#include "speech/CaptureEnded.h"

namespace sayvo {

namespace {
constexpr double kRunTaskDelay = 0.5;
// How long a stopped task may take to deliver its last result; the service
// normally answers finish-task well within this.
constexpr double kCloseDelay = 3.0;
constexpr int kGoingAway = 1001;
constexpr Text kNoAnswer = SAYVO_TEXT("AliyunASR", "识别服务没有回应");
constexpr Text kEngineFailed = SAYVO_TEXT("AliyunASR", "音频引擎启动失败: %1");
constexpr std::uint32_t kCaptureFrames = 1600;
const AudioFormat kTargetFormat{16000, 1, SampleType::int16};

std::string littleEndianBytes(const std::vector<std::int16_t>& samples) {
    std::string bytes(samples.size() * 2, '\0');
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<char>(v & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(v >> 8);
    }
    return bytes;
}

// Audio thread: converts one buffer and queues it; never waits.
void sendConverted(const AudioPCMBuffer& buffer, AudioConverter& converter,
                   CloudConnection& connection) {
    const double rate = buffer.format().sampleRate;
    if (!(rate > 0)) return;
    const auto capacity =
        static_cast<std::uint32_t>(buffer.frameLength() * (kTargetFormat.sampleRate / rate));
    const auto samples = converter.convert(buffer, capacity);
    if (!samples || samples->empty()) return;
    connection.sendAudio(littleEndianBytes(*samples));
}
}  // namespace

std::shared_ptr<AliyunASR> AliyunASR::create(Services services, std::string wsURL) {
    return std::shared_ptr<AliyunASR>(new AliyunASR(services, std::move(wsURL)));
}

AliyunASR::AliyunASR(Services services, std::string wsURL)
    : services_(services), wsURL_(std::move(wsURL)) {}

AliyunASR::~AliyunASR() {
    microphone_.close();
    if (auto task = currentTask()) task->cancel(kGoingAway);
}

template <typename Work>
void AliyunASR::onMain(std::uint64_t start, Work work) {
    std::weak_ptr<AliyunASR> weak = weak_from_this();
    services_.scheduler.post([weak, start, work = std::move(work)] {
        auto self = weak.lock();
        if (self && self->start_ == start) work(*self);
    });
}

std::shared_ptr<WebSocketTask> AliyunASR::currentTask() const {
    return connection_->get();
}

void AliyunASR::startRecognition(const std::string& apiKey) {
    if (isRunning_) return;
    isRunning_ = true;
    const std::uint64_t start = ++start_;
    connectionFailureReported_ = false;
    taskId_ = makeTaskId(services_.uuids);
    runTaskSent_ = false;
    finishWhenStarted_ = false;

    WebSocketRequest request{wsURL_, {{"Authorization", "bearer " + apiKey}}, 60};
    std::weak_ptr<AliyunASR> weak = weak_from_this();
    WebSocketDelegate delegate;
    delegate.onClose = [weak, start](int) {
        auto self = weak.lock();
        if (!self) return;
        self->onMain(start, [](AliyunASR& client) {
            client.isRunning_ = false;
            // A closed connection must not leave the microphone open.
            client.microphone_.close();
            client.report(client.onStopped);
            client.report(client.onFinished);
        });
    };
    auto task = services_.webSockets.makeWebSocketTask(request, std::move(delegate));
    connection_->set(task);
    task->resume();
    receiveMessages(task, start);
    // The user speaks from the press on: the microphone opens now, not when
    // the service is ready.
    if (auto failure = startAudioCapture(start)) {
        if (onError) onError(*failure);
        isRunning_ = false;
        closeUnused();
        return;
    }
    services_.scheduler.postAfter(kRunTaskDelay, [weak, start] {
        if (auto self = weak.lock()) self->sendRunTask(start);
    });
}

void AliyunASR::stopRecognition() {
    if (!isRunning_) return;
    isRunning_ = false;
    microphone_.close();
    if (!runTaskSent_) {
        // A tap shorter than the run-task delay: no task was started, so no
        // command goes out, and the connection has nothing left to carry.
        closeUnused();
        return;
    }
    // The held audio goes out before the finish; before the task has started
    // there is nothing to finish yet.
    if (connection_->isStreaming()) {
        sendFinishTask();
    } else {
        finishWhenStarted_ = true;
    }
    // The close belongs to this connection, whatever starts in the meantime.
    // A service that has not answered by then never will.
    std::weak_ptr<AliyunASR> weak = weak_from_this();
    services_.scheduler.postAfter(kCloseDelay, [weak, task = currentTask(), start = start_] {
        auto self = weak.lock();
        if (!self || !task) return;
        const bool unanswered = self->currentTask() == task;
        // Said as what it is, not as the receive our own close fails.
        if (unanswered) self->closedAfterServiceEnd_ = task;
        self->closeTask(task);
        if (unanswered && self->start_ == start) {
            if (self->onError) self->onError(self->say(kNoAnswer));
            self->report(self->onFinished);
        }
    });
    onMain(start_, [](AliyunASR& client) { client.report(client.onStopped); });
}

void AliyunASR::closeUnused() {
    closedAfterServiceEnd_ = currentTask();  // its failing receive is no news
    closeTask(closedAfterServiceEnd_);
    onMain(start_, [](AliyunASR& client) {
        client.report(client.onStopped);
        client.report(client.onFinished);
    });
}

void AliyunASR::closeTask(const std::shared_ptr<WebSocketTask>& task) {
    if (!task) return;
    task->cancel(kGoingAway);
    connection_->clearIf(task);
}

void AliyunASR::sendRunTask(std::uint64_t start) {
    // A stop (or a newer start) within the delay makes this command pointless.
    if (!isRunning_ || start != start_) return;
    const auto command = buildRunTask(taskId_);
    auto task = currentTask();
    if (!command || !task) return;
    runTaskSent_ = true;
    std::weak_ptr<AliyunASR> weak = weak_from_this();
    task->send({WebSocketMessage::Kind::text, *command}, [weak, start](
                                                             std::optional<PlatformError> error) {
        auto self = weak.lock();
        if (!self || !error) return;
        self->onMain(start, [error = *error](AliyunASR& c) { c.reportConnectionFailure(error); });
    });
}

// A refused key fails the command and the receive alike: the user hears of
// the cause once per start, in its own words; the library's text is logged.
void AliyunASR::reportConnectionFailure(const PlatformError& error) {
    services_.log.note("cloud connection failed: " + error.localizedDescription);
    if (std::exchange(connectionFailureReported_, true)) return;
    if (onError) onError(say(cloudFailureMessage(error)));
}

void AliyunASR::sendFinishTask() {
    const auto command = buildFinishTask(taskId_);
    auto task = currentTask();
    if (!command || !task) return;
    task->send({WebSocketMessage::Kind::text, *command}, [](std::optional<PlatformError>) {});
}

void AliyunASR::receiveMessages(std::shared_ptr<WebSocketTask> task, std::uint64_t start) {
    std::weak_ptr<AliyunASR> weak = weak_from_this();
    // The task keeps this completion until it runs: holding the task strongly
    // here would make a cycle that outlives a connection never closed.
    std::weak_ptr<WebSocketTask> weakTask = task;
    task->receive([weak, weakTask, start](std::optional<WebSocketMessage> message,
                                          std::optional<PlatformError> error) {
        // Callback queue.
        auto self = weak.lock();
        auto task = weakTask.lock();
        if (!self || !task) return;
        if (error || !message) {
            const PlatformError failure =
                error.value_or(PlatformError{WebSocketError::domain, WebSocketError::closed, ""});
            self->onMain(start, [failure, task](AliyunASR& c) {
                // Our own close after the service finished is not a failure to report.
                if (task == c.closedAfterServiceEnd_) return;
                c.reportConnectionFailure(failure);
            });
            return;
        }
        if (message->kind == WebSocketMessage::Kind::text)
            self->handleMessage(message->data, start);
        // After the stop as well: the last results and task-finished follow it.
        if (self->currentTask() == task) self->receiveMessages(task, start);
    });
}

void AliyunASR::handleMessage(const std::string& text, std::uint64_t start) {
    const CloudEvent event = parseCloudEvent(text);
    switch (event.kind) {
        case CloudEvent::Kind::started:
            onMain(start, [](AliyunASR& c) {
                c.report(c.onStarted);
                c.connection_->beginStreaming();
                if (std::exchange(c.finishWhenStarted_, false)) c.sendFinishTask();
            });
            break;
        case CloudEvent::Kind::result:
            onMain(start, [event](AliyunASR& c) {
                if (c.onTranscript) c.onTranscript(event.text, event.isFinal);
            });
            break;
        case CloudEvent::Kind::finished:
            onMain(start, [start](AliyunASR& c) {
                // After our stop, the stop has been reported already.
                if (c.isRunning_) c.report(c.onStopped);
                c.endedByService(start);
            });
            break;
        case CloudEvent::Kind::failed:
            onMain(start, [start, message = event.text](AliyunASR& c) {
                if (c.onError)
                    c.onError(message.empty() ? c.say(SAYVO_TEXT("AliyunASR", "未知错误"))
                                              : message);
                if (c.isRunning_) c.report(c.onStopped);
                c.endedByService(start);
            });
            break;
        case CloudEvent::Kind::ignored:
            break;
    }
}

// The service ended the task, after our stop or on its own. On its own, the
// user sees the recording end: the microphone closes and the next start must
// begin a new task rather than be ignored. Either way nothing more comes.
void AliyunASR::endedByService(std::uint64_t start) {
    if (start != start_) return;
    isRunning_ = false;
    microphone_.close();
    if (auto task = currentTask()) {
        closedAfterServiceEnd_ = task;
        closeTask(task);
    }
    report(onFinished);
}

std::optional<std::string> AliyunASR::startAudioCapture(std::uint64_t start) {
    if (!microphone_.open())
        return withArguments(say(kEngineFailed),
                             {say(SAYVO_TEXT("AliyunASR", "无法创建音频引擎"))});
    const AudioFormat inputFormat = microphone_.inputFormat();
    std::shared_ptr<AudioConverter> converter =
        services_.audio.makeConverter(inputFormat, kTargetFormat);
    if (!converter) {
        microphone_.close();
        return say(SAYVO_TEXT("AliyunASR", "无法创建音频转换器"));
    }
    if (auto failure = microphone_.start(inputFormat, kCaptureFrames,
                                         captureHandlers(start, std::move(converter)))) {
        microphone_.close();
        return withArguments(say(kEngineFailed), {failure->localizedDescription});
    }
    return std::nullopt;
}

MicrophoneTap::Handlers AliyunASR::captureHandlers(std::uint64_t start,
                                                   std::shared_ptr<AudioConverter> converter) {
    std::weak_ptr<AliyunASR> weak = weak_from_this();
    auto current = [weak, start]() -> std::shared_ptr<AliyunASR> {
        auto self = weak.lock();
        if (!self || self->start_ != start || !self->isRunning_) return nullptr;
        return self;
    };
    MicrophoneTap::Handlers handlers;
    // It holds the connection, not the client, so the audio thread can never
    // be the last owner of the client.
    handlers.onBuffer = [converter, connection = connection_](const AudioPCMBuffer& buffer) {
        sendConverted(buffer, *converter, *connection);
    };
    handlers.onLevel = [current](float level) {
        auto self = current();
        if (self && self->onAudioLevel) self->onAudioLevel(level);
    };
    // A microphone gone mid-task ends it as the user's stop would: the words
    // heard so far still come back.
    handlers.onEnded = [current] {
        auto self = current();
        if (!self) return;
        if (self->onError) self->onError(self->say(kCaptureEnded));
        self->stopRecognition();
    };
    return handlers;
}

}  // namespace sayvo
