#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cloud/CloudConnection.h"
#include "core/SharedInstance.h"
#include "platform/Audio.h"
#include "platform/DecisionLog.h"
#include "platform/Scheduler.h"
#include "platform/Translations.h"
#include "platform/UUIDGenerator.h"
#include "platform/WebSocket.h"
#include "speech/CloudASRClient.h"
#include "speech/MicrophoneTap.h"

namespace sayvo {

// The cloud engine: one WebSocket connection and one recognition task per
// start; streams the microphone from the start on, converted to 16 kHz mono
// int16 (what comes before the service has started the task is held and sent
// first), and reports the service's results through the six callbacks, each
// fired on the main thread.
// Threads: start/stop, the delayed command and close, audio capture start and
// stop run on the main thread. The connection's callback queue parses
// received messages, posts them and asks for the next. The audio thread
// converts and sends.
// Crossing threads: isRunning_ (atomic) and the connection (guarded).
// Every posted report carries the start it belongs to, so nothing of an
// earlier connection reaches the callbacks after a new start.
// Make it with create(): deferred work holds it weakly.
class AliyunASR final : public CloudASRClient, public std::enable_shared_from_this<AliyunASR> {
public:
    struct Services {
        Scheduler& scheduler;
        WebSocketService& webSockets;
        UUIDGenerator& uuids;
        AudioSystem& audio;
        DecisionLog& log;  // the technical side of failures
        const Translations& translations;
    };

    static std::shared_ptr<AliyunASR> create(Services services, std::string wsURL);
    ~AliyunASR() override;

    // The process-wide instance, installed by the entry point (SharedInstance::Scope).
    static AliyunASR& shared() { return SharedInstance<AliyunASR>::get(); }

    void startRecognition(const std::string& apiKey) override;
    void stopRecognition() override;

    bool isRunning() const { return isRunning_; }
    const std::string& taskId() const { return taskId_; }

private:
    AliyunASR(Services services, std::string wsURL);

    std::shared_ptr<WebSocketTask> currentTask() const;
    void sendRunTask(std::uint64_t start);
    void sendFinishTask();
    void receiveMessages(std::shared_ptr<WebSocketTask> task, std::uint64_t start);
    void handleMessage(const std::string& text, std::uint64_t start);
    // The failure's message; nothing when the microphone is open.
    std::optional<std::string> startAudioCapture(std::uint64_t start);
    MicrophoneTap::Handlers captureHandlers(std::uint64_t start,
                                            std::shared_ptr<AudioConverter> converter);
    // Ends a start that never sent a command: the connection closes at once.
    void closeUnused();
    void endedByService(std::uint64_t start);
    void closeTask(const std::shared_ptr<WebSocketTask>& task);
    // Runs `work` on the main queue if this client still exists and no newer start happened.
    template <typename Work>
    void onMain(std::uint64_t start, Work work);
    void reportConnectionFailure(const PlatformError& error);
    void report(const std::function<void()>& callback) const {
        if (callback) callback();
    }

    std::string say(const Text& text) const { return services_.translations.text(text); }
    Services services_;
    const std::string wsURL_;
    std::atomic<bool> isRunning_{false};
    // The current connection, read by the callback queue and the audio thread.
    const std::shared_ptr<CloudConnection> connection_ = std::make_shared<CloudConnection>();
    MicrophoneTap microphone_{services_.audio, services_.scheduler};
    std::string taskId_;
    std::uint64_t start_ = 0;                               // main thread: which start is current
    bool runTaskSent_ = false;                              // main thread: for the current start
    bool connectionFailureReported_ = false;                // main thread: for the current start
    bool finishWhenStarted_ = false;                        // main thread: stopped before started
    std::shared_ptr<WebSocketTask> closedAfterServiceEnd_;  // main thread
};

}  // namespace sayvo
